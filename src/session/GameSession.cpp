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

Roster &GameRoster()
{
    return GameSession::current().roster();
}

void GameSession::setRaceRunning(bool running)
{
    if (running == raceRunning_)
        return;
    raceRunning_ = running;
    emit raceRunningChanged(running);
}

bool GameSession::raceGoesOn(quint64 ticket) const
{
    return ticket == raceTicket_ && !ApplicationTerminating();
}

void GameSession::setJoinedRace(bool joined)
{
    if (joined == joinedRace_)
        return;
    joinedRace_ = joined;
    emit joinedRaceChanged(joined);
}

void GameSession::setHostAddress(const QString &address)
{
    const QString kept = address.left(HostAddressCapacity);
    if (kept == hostAddress_)
        return;
    hostAddress_ = kept;
    emit hostAddressChanged(kept);
}

void GameSession::setRequestedHostAddress(const QString &address)
{
    requestedHostAddress_ = address.left(HostAddressCapacity);
}

void GameSession::setInviterUin(const QString &uin)
{
    const QString kept = uin.left(InviterUinCapacity);
    if (kept == inviterUin_)
        return;
    inviterUin_ = kept;
    emit inviterChanged();
}

void GameSession::setInviterName(const QString &name)
{
    const QString kept = name.left(InviterNameCapacity);
    if (kept == inviterName_)
        return;
    inviterName_ = kept;
    emit inviterChanged();
}

PlayMode CurrentPlayMode()
{
    return GameSession::current().playSettings().playMode();
}

GameType CurrentGameType()
{
    return GameSession::current().playSettings().gameType();
}
