#include "GameSession.h"

#include "Waits.h"

GameSession &GameSession::current()
{
    static GameSession session;
    return session;
}

CharacterStage &GameStage()
{
    return GameSession::current().stage();
}

Dialogs &GameDialogs()
{
    return GameSession::current().dialogs();
}

RaceModel &Model()
{
    return GameSession::current().model();
}

RaceRun &CurrentRace()
{
    return GameSession::current().raceRun();
}

Roster &GameRoster()
{
    return GameSession::current().roster();
}

RaceRun &GameSession::newRaceRun()
{
    raceRun_ = std::make_unique<RaceRun>();
    return *raceRun_;
}

RaceHold::RaceHold() : run_(&GameSession::current().raceRun())
{
}

bool RaceHold::goesOn() const
{
    return !run_.isNull() && !ApplicationTerminating();
}

void GameSession::setHostAddress(const QString &address)
{
    hostAddress_ = address.left(HostAddressCapacity);
}

void GameSession::setRequestedHostAddress(const QString &address)
{
    requestedHostAddress_ = address.left(HostAddressCapacity);
}

void GameSession::setInviterUin(const QString &uin)
{
    inviterUin_ = uin.left(InviterUinCapacity);
}

void GameSession::setInviterName(const QString &name)
{
    inviterName_ = name.left(InviterNameCapacity);
}

PlayMode CurrentPlayMode()
{
    return GameSession::current().playSettings().playMode();
}

GameType CurrentGameType()
{
    return GameSession::current().playSettings().gameType();
}
