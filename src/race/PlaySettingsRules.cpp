#include "PlaySettingsRules.h"

#include "PlaySettings.h"
#include "Race.h"

void FollowPlaySettings(Race &race, const PlaySettings &settings)
{
    // The rules read the settings as they are, not the value a change carried: one rule
    // may have changed them again before a later change is told.
    QObject::connect(&settings, &PlaySettings::playModeChanged, &race, [&race, &settings] {
        if (settings.playMode() != NoPlayMode)
            race.playModeChosen(settings.playMode());
    });
    QObject::connect(&settings, &PlaySettings::gameTypeChanged, &race, [&race, &settings] {
        if (settings.gameType() != NoGameType)
            race.gameTypeChosen();   // a difficulty changed by it runs this once more
    });
    QObject::connect(&settings, &PlaySettings::difficultyChanged, &race, [&race] { race.gameTypeChosen(); });
}
