// The main window's "Play Game", "Game Type" and "Difficulty" groups bound to the
// session's play settings both ways: a pick changes the settings, a change of the
// settings (the race's rules, "New Game") shows in the groups. The race's rules follow
// the settings themselves (PlaySettingsRules.h).
#pragma once

#include <QObject>

class PlaySettings;
class RadioGroup;

class PlaySettingsBinding : public QObject
{
    Q_OBJECT
public:
    // The settings take the groups' selections at once. The binding lives as long as the
    // play mode group (its parent).
    PlaySettingsBinding(PlaySettings &settings, RadioGroup *playMode, RadioGroup *gameType, RadioGroup *difficulty);
};
