#include "Race.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "Phrases.h"
#include "RaceModel.h"
#include "Utilities.h"

#include <QScopedValueRollback>

#include <algorithm>

Task<> Race::joinedStart(QString senderAddress)
{
    dispatcher_.acknowledge(senderAddress);
    // One start at a time: the host's resends (and anyone's flood of them) that come
    // during the wait below are acknowledged and go no further.
    if (joinedStartPending_)
        co_return;
    const QScopedValueRollback<bool> pendingUntilDone(joinedStartPending_, true);
    co_await Wait(300);
    dispatcher_.acknowledge(senderAddress);
    if (dispatcher_.fromOwnHost(senderAddress))   // not cancelled, nor left, meanwhile
        startJoined();
}

void Race::cancelledByHost()
{
    // The host has ended its game: this copy is no longer joined to it, so that its late
    // resends ("RZ" above all) are ignored.
    session_.setHostAddress(QString());
    stopHere();
    stage_.speak(LookupPhrase(QStringLiteral("rc1")), QStringLiteral("Announcer"));
    model().shutdownCountdown = 25;
}

void Race::installMessageHandlers()
{
    questions_.installMessageHandlers();
    dispatcher_.setHandler<Msg::Positions>([this](const QString &senderAddress, const Msg::Positions &positions) {
        // Positions before this joiner's race: every round of "SR" was lost, and the host
        // is racing. They start the race here, late, rather than never.
        if (!session_.raceRunning() && !session_.joinedRace() && !inProgress_) {
            Launch(joinedStart(senderAddress));
            return;
        }
        if (!session_.raceRunning() || !dispatcher_.takeNewPositions(positions))
            return;
        dispatcher_.acknowledge(senderAddress);
        for (int slot = 0; slot < std::min(roster_.count(), MaxContestants); ++slot)
            model().contestants[slot].Progress = positions.progress[slot];
        RankContestants(roster_, session_.raceRun().standings);
    });
    dispatcher_.setHandler<Msg::StartRace>([this](const QString &senderAddress, const Msg::StartRace &) {
        if (!session_.raceRunning())
            Launch(joinedStart(senderAddress));
    });
    dispatcher_.setHandler<Msg::Cancel>([this](const QString &, const Msg::Cancel &) { cancelledByHost(); });
}
