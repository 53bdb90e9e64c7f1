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
    // The groups show what the settings hold once a change is told, not the value it
    // carried: a rule that changed them again meanwhile (a Random Race is Easy) has the
    // last word, and the group does not put the older value back.
    connect(&settings, &PlaySettings::playModeChanged, playMode, [playMode, &settings] {
        playMode->setItemIndex(settings.playMode());
    });
    connect(&settings, &PlaySettings::gameTypeChanged, gameType, [gameType, &settings] {
        gameType->setItemIndex(settings.gameType());
    });
    connect(&settings, &PlaySettings::difficultyChanged, difficulty, [difficulty, &settings] {
        difficulty->setItemIndex(settings.difficulty());
    });
}
