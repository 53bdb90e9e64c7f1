#include "RaceMessages.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "MessageCodes.h"
#include "Phrases.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "RaceStart.h"
#include "Stage.h"
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

void takeProgress(QString payload)
{
    for (int slot = 0; slot < std::min(ContestantCount(), MaxContestants); ++slot) {
        bool ok = false;
        const qint32 value = ToInteger(NextField(payload), &ok);
        ContestantTable[slot].Progress = ok ? std::clamp(value, 0, MaxTakenProgress) : 0;
    }
    RankContestants();
}

void takePositions(const QString &senderAddress, const QString &, const QString &payload)
{
    // Positions before this joiner's race: every round of "SR" was lost, and the host
    // is racing. They start the race here, late, rather than never.
    if (!GameSession::current().raceRunning() && !GameSession::current().joinedRace() && !RaceInProgress()) {
        Launch(startJoinedRace(senderAddress));
        return;
    }
    if (!GameSession::current().raceRunning() || payload == LastRosterPayload || !AcceptPositionsNumber(payload))
        return;
    LastRosterPayload = payload;
    Acknowledge(senderAddress);
    takeProgress(payload);
}

void cancelledByHost(const QString &, const QString &, const QString &)
{
    // The host has ended its game: this copy is no longer joined to it, so that its late
    // resends ("RZ" above all) are ignored.
    GameSession::current().setHostAddress(QString());
    StopRaceHere();
    SpeakText(LookupPhrase(QStringLiteral("rc1")), QStringLiteral("Announcer"));
    ShutdownCountdown = 25;
}

} // namespace

void InstallRaceMessageHandlers()
{
    SetMessageHandler(MessageCode::Positions, takePositions);
    SetMessageHandler(MessageCode::StartRace, [](const QString &senderAddress, const QString &, const QString &) {
        if (!GameSession::current().raceRunning())
            Launch(startJoinedRace(senderAddress));
    });
    SetMessageHandler(MessageCode::Cancel, cancelledByHost);
}
