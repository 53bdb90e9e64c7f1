#include "PlayControls.h"

PlayControlSet ControlsOf(PlayMode mode)
{
    PlayControlSet shown;
    switch (mode) {
    case JoinGame:
        shown.requestPlay = true;
        break;
    case HostGame:
        shown.startGame = shown.gameType = shown.difficulty = shown.invite = true;
        break;
    case LocalRace:
        shown.addCharacters = shown.startGame = true;
        break;
    case PracticeGame:
        shown.startGame = shown.gameType = shown.difficulty = true;
        break;
    case NoPlayMode:
        break;
    }
    return shown;
}

PlayControls::PlayControls(const PlaySettings &settings, QObject *parent) : QObject(parent), settings(settings)
{
    connect(&settings, &PlaySettings::playModeChanged, this, &PlayControls::changed);
}
