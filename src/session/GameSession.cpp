#include "GameSession.h"

#include "Waits.h"

RaceRun &GameSession::newRaceRun()
{
    raceRun_ = std::make_unique<RaceRun>();
    return *raceRun_;
}

RaceHold::RaceHold(RaceRun &run) : run_(&run)
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
