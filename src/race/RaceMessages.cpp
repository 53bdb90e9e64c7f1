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
    Acknowledge(senderAddress);
    // One start at a time: the host's resends (and anyone's flood of them) that come
    // during the wait below are acknowledged and go no further.
    if (joinedStartPending_)
        co_return;
    const QScopedValueRollback<bool> pendingUntilDone(joinedStartPending_, true);
    co_await Wait(300);
    Acknowledge(senderAddress);
    if (FromOwnHost(senderAddress))   // not cancelled, nor left, meanwhile
        startJoined();
}

void Race::cancelledByHost()
{
    // The host has ended its game: this copy is no longer joined to it, so that its late
    // resends ("RZ" above all) are ignored.
    GameSession::current().setHostAddress(QString());
    stopHere();
    GameStage().speak(LookupPhrase(QStringLiteral("rc1")), QStringLiteral("Announcer"));
    Model().shutdownCountdown = 25;
}

void Race::installMessageHandlers()
{
    questions_.installMessageHandlers();
    SetMessageHandler<Msg::Positions>([this](const QString &senderAddress, const Msg::Positions &positions) {
        // Positions before this joiner's race: every round of "SR" was lost, and the host
        // is racing. They start the race here, late, rather than never.
        if (!GameSession::current().raceRunning() && !GameSession::current().joinedRace() && !inProgress_) {
            Launch(joinedStart(senderAddress));
            return;
        }
        if (!GameSession::current().raceRunning() || !TakeNewPositions(positions))
            return;
        Acknowledge(senderAddress);
        for (int slot = 0; slot < std::min(GameRoster().count(), MaxContestants); ++slot)
            Model().contestants[slot].Progress = positions.progress[slot];
        RankContestants();
    });
    SetMessageHandler<Msg::StartRace>([this](const QString &senderAddress, const Msg::StartRace &) {
        if (!GameSession::current().raceRunning())
            Launch(joinedStart(senderAddress));
    });
    SetMessageHandler<Msg::Cancel>([this](const QString &, const Msg::Cancel &) { cancelledByHost(); });
}
