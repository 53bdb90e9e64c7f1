#include "PlaySettingsRules.h"

#include "PlaySettings.h"
#include "Race.h"

void FollowPlaySettings(Race &race, const PlaySettings &settings)
{
    QObject::connect(&settings, &PlaySettings::playModeChanged, &race, [&race](PlayMode mode) {
        if (mode != NoPlayMode)
            race.playModeChosen(mode);
    });
    QObject::connect(&settings, &PlaySettings::gameTypeChanged, &race, [&race](GameType type) {
        if (type != NoGameType)
            race.gameTypeChosen();   // a difficulty changed by it runs this once more
    });
    QObject::connect(&settings, &PlaySettings::difficultyChanged, &race, [&race] { race.gameTypeChosen(); });
}
