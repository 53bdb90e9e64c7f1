// The game's shared state below the windows: what the player picked to play
// (PlaySettings.h), the roster (Roster.h), the race state (RaceModel.h, and RaceRun.h for
// the race under way), and the signals the windows follow (the question on show; the
// race's steps are the race's). The windows show it and change it through these objects;
// the race, the games and the network read it here, never from a widget.
#pragma once

#include "CharacterStage.h"
#include "Dialogs.h"
#include "PlaySettings.h"
#include "RaceModel.h"
#include "RaceRun.h"
#include "Roster.h"

#include <QRect>
#include <QString>

#include <functional>
#include <memory>

constexpr int HostAddressCapacity = 15;
constexpr int InviterUinCapacity = 15;
constexpr int InviterNameCapacity = 40;


class GameSession
{
public:
    // The one session of the program.
    static GameSession &current();

    // The services the program hands the game (main): the characters and the dialogs.
    // Until they are handed over, and after useStage(nullptr) or useDialogs(nullptr), there
    // are none: nothing
    // shows and every box is closed at once.
    CharacterStage &stage() const { return *stage_; }
    Dialogs &dialogs() const { return *dialogs_; }
    void useStage(CharacterStage *stage) { stage_ = stage ? stage : &noStage_; }
    void useDialogs(Dialogs *dialogs) { dialogs_ = dialogs ? dialogs : &noDialogs_; }

    // The contestants' records and the race's counters; the roster over the records.
    RaceModel &model() { return model_; }
    Roster &roster() { return roster_; }
    // What the player picked to play.
    PlaySettings &playSettings() { return playSettings_; }
    // Names the race's monitor (RaceScreen.h; the main window sets it).
    std::function<QRect()> raceScreenSource;

    // The race under way: its rounds run; this copy races in a host's game.
    bool raceRunning() const { return raceRunning_; }
    bool joinedRace() const { return joinedRace_; }
    void setRaceRunning(bool running) { raceRunning_ = running; }
    void setJoinedRace(bool joined) { joinedRace_ = joined; }

    // The race: the one under way, or the last one until the next starts or it is
    // cancelled (before any, an empty one). newRaceRun() ends it, its object with it, so
    // that every step still holding it (RaceHold) stops at its next check, and begins
    // the next: a new race starts, or the race is cancelled.
    RaceRun &raceRun() { return *raceRun_; }
    RaceRun &newRaceRun();

    // The network game: the host that accepted us, where our last play request went (the
    // only address whose answer is taken), and who invited this player (the messenger's
    // "GP" ping). Each is cut to its capacity.
    const QString &hostAddress() const { return hostAddress_; }
    const QString &requestedHostAddress() const { return requestedHostAddress_; }
    const QString &inviterUin() const { return inviterUin_; }
    const QString &inviterName() const { return inviterName_; }
    void setHostAddress(const QString &address);
    void setRequestedHostAddress(const QString &address);
    void setInviterUin(const QString &uin);
    void setInviterName(const QString &name);

private:
    NoStage noStage_;
    NoDialogs noDialogs_;
    CharacterStage *stage_ = &noStage_;
    Dialogs *dialogs_ = &noDialogs_;
    RaceModel model_;
    Roster roster_{model_};
    PlaySettings playSettings_;
    bool raceRunning_ = false;
    bool joinedRace_ = false;
    std::unique_ptr<RaceRun> raceRun_ = std::make_unique<RaceRun>();
    QString hostAddress_;
    QString requestedHostAddress_;
    QString inviterUin_;
    QString inviterName_;
};

// The session's play mode and game type.
PlayMode CurrentPlayMode();
GameType CurrentGameType();
// The session's characters and dialogs.
CharacterStage &GameStage();
Dialogs &GameDialogs();
// The session's model, its roster and its race.
RaceModel &Model();
Roster &GameRoster();
RaceRun &CurrentRace();
