// The main window's "Play Game", "Game Type" and "Difficulty" groups bound to the
// session's play settings both ways: a pick changes the settings, a change of the
// settings (the race's rules, "New Game") shows in the groups. A pick, by a click or
// from code, also runs the race's rules for it (Race::playModeChosen, gameTypeChosen).
#pragma once

#include <QObject>

class PlaySettings;
class Race;
class RadioGroup;

class PlaySettingsBinding : public QObject
{
    Q_OBJECT
public:
    // The settings take the groups' selections at once. The binding lives as long as the
    // play mode group (its parent).
    PlaySettingsBinding(PlaySettings &settings, Race &race, RadioGroup *playMode, RadioGroup *gameType,
                        RadioGroup *difficulty);

signals:
    // A play mode was picked and the race's rules for it ran.
    void playModePicked();
    // A game type or a difficulty was picked and the race's rules for it ran.
    void gameTypePicked();
};
