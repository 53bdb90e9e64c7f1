// The race's rules for the play settings run whenever the settings change, whoever
// changes them (a pick on the main window, another rule, the race's end, a test): a play
// mode picked (Race::playModeChosen), a game type or difficulty picked
// (Race::gameTypeChosen). Going back to no mode or no game type runs none.
#pragma once

class PlaySettings;
class Race;

// Connect before anything else follows the settings (the main window's groups and
// descriptions), so that each follower sees the settings with the rules applied.
void FollowPlaySettings(Race &race, const PlaySettings &settings);
