// The game's shared state below the windows, beside what the player picked to play
// (PlaySettings.h), the roster (Roster.h) and the contestants' records (RaceModel.h):
// whether a race runs, the race under way (RaceRun.h) and the network game. The race,
// the games and the network are handed it by main; they never read a widget.
#pragma once

#include "RaceRun.h"

#include <QString>

#include <memory>

constexpr int HostAddressCapacity = 15;
constexpr int InviterUinCapacity = 15;
constexpr int InviterNameCapacity = 40;


// The state of this copy's network game and of the race under way that the race, the
// network and the windows share. A plain object with no signals: main makes it and hands
// it to those that read or change it.
class GameSession
{
public:
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
    const RaceRun &raceRun() const { return *raceRun_; }
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
    bool raceRunning_ = false;
    bool joinedRace_ = false;
    std::unique_ptr<RaceRun> raceRun_ = std::make_unique<RaceRun>();
    QString hostAddress_;
    QString requestedHostAddress_;
    QString inviterUin_;
    QString inviterName_;
};
