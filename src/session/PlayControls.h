// Which of the main window's play controls each play mode shows, as a model that follows
// the play settings; the main window binds its buttons and groups to it.
#pragma once

#include "PlaySettings.h"

#include <QObject>

// The controls that depend on the play mode ("Cancel Game" shows only during a race's
// rounds: no mode shows it).
struct PlayControlSet {
    bool requestPlay = false;     // "Request To Play"
    bool addCharacters = false;   // "Add Characters to Race"
    bool startGame = false;       // "Start Game"
    bool gameType = false;        // the "Game Type" group
    bool difficulty = false;      // the "Difficulty" group
    bool invite = false;          // "Invite Players"
    bool operator==(const PlayControlSet &) const = default;
};

// The table: a joiner asks to play; a host starts, picks the game and invites; a local
// race adds characters and starts; practice starts and picks the game; no mode shows none.
PlayControlSet ControlsOf(PlayMode mode);

class PlayControls : public QObject
{
    Q_OBJECT
public:
    explicit PlayControls(const PlaySettings &settings, QObject *parent = nullptr);
    // The controls the play mode in the settings shows.
    PlayControlSet shown() const { return ControlsOf(settings.playMode()); }

signals:
    // The play mode changed: the controls to show may have.
    void changed();

private:
    const PlaySettings &settings;
};
