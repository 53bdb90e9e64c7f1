#include "RaceMessages.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "Phrases.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "RaceStart.h"
#include "Utilities.h"

#include <QScopedValueRollback>

#include <algorithm>

namespace {

// One start at a time: the host's resends (and anyone's flood of them) that come during
// the wait below are acknowledged and go no further.
bool joinedStartPending = false;

Task<> startJoinedRace(QString senderAddress)
{
    if (!GameSession::current().joinedRace() && !RaceInProgress())
        ForgetPositionsNumber();   // a new race: the host may have been started again
    Acknowledge(senderAddress);
    if (joinedStartPending)
        co_return;
    const QScopedValueRollback<bool> pendingUntilDone(joinedStartPending, true);
    co_await Wait(300);
    Acknowledge(senderAddress);
    if (FromOwnHost(senderAddress))   // not cancelled, nor left, meanwhile
        StartJoinedRace();
}

void takePositions(const QString &senderAddress, const Msg::Positions &positions)
{
    // Positions before this joiner's race: every round of "SR" was lost, and the host
    // is racing. They start the race here, late, rather than never.
    if (!GameSession::current().raceRunning() && !GameSession::current().joinedRace() && !RaceInProgress()) {
        Launch(startJoinedRace(senderAddress));
        return;
    }
    if (!GameSession::current().raceRunning() || !TakeNewPositions(positions))
        return;
    Acknowledge(senderAddress);
    for (int slot = 0; slot < std::min(ContestantCount(), MaxContestants); ++slot)
        Model().contestants[slot].Progress = positions.progress[slot];
    RankContestants();
}

void cancelledByHost()
{
    // The host has ended its game: this copy is no longer joined to it, so that its late
    // resends ("RZ" above all) are ignored.
    GameSession::current().setHostAddress(QString());
    StopRaceHere();
    GameStage().speak(LookupPhrase(QStringLiteral("rc1")), QStringLiteral("Announcer"));
    Model().shutdownCountdown = 25;
}

} // namespace

void InstallRaceMessageHandlers()
{
    SetMessageHandler<Msg::Positions>(takePositions);
    SetMessageHandler<Msg::StartRace>([](const QString &senderAddress, const Msg::StartRace &) {
        if (!GameSession::current().raceRunning())
            Launch(startJoinedRace(senderAddress));
    });
    SetMessageHandler<Msg::Cancel>([](const QString &, const Msg::Cancel &) { cancelledByHost(); });
}
