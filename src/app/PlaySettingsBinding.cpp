#include "PlaySettingsBinding.h"

#include "PlaySettings.h"
#include "RadioGroup.h"

PlaySettingsBinding::PlaySettingsBinding(PlaySettings &settings, RadioGroup *playMode, RadioGroup *gameType,
                                         RadioGroup *difficulty)
    : QObject(playMode)
{
    // A group's index is one of its items, or -1 (none): one of the enums' values.
    const auto takePlayMode = [&settings](int index) { settings.setPlayMode(PlayMode(index)); };
    const auto takeGameType = [&settings](int index) { settings.setGameType(GameType(index)); };
    const auto takeDifficulty = [&settings](int index) {
        if (index >= 0)   // the group is never cleared; Difficulty has no "none"
            settings.setDifficulty(Difficulty(index));
    };
    takePlayMode(playMode->itemIndex());
    takeGameType(gameType->itemIndex());
    takeDifficulty(difficulty->itemIndex());
    connect(playMode, &RadioGroup::itemIndexChanged, this, takePlayMode);
    connect(gameType, &RadioGroup::itemIndexChanged, this, takeGameType);
    connect(difficulty, &RadioGroup::itemIndexChanged, this, takeDifficulty);
    connect(&settings, &PlaySettings::playModeChanged, playMode, &RadioGroup::setItemIndex);
    connect(&settings, &PlaySettings::gameTypeChanged, gameType, &RadioGroup::setItemIndex);
    connect(&settings, &PlaySettings::difficultyChanged, difficulty, &RadioGroup::setItemIndex);
}
