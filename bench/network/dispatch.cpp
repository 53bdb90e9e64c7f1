// Time from a datagram's arrival to the end of its dispatch, over 10,000 datagrams sent
// one at a time from another loopback address: the game on 127.0.0.51, the peer on
// 127.0.0.52. Prints the median and the worst, from the send and from the socket read.
#include "GameMessages.h"
#include "GameTransport.h"
#include "InviteList.h"
#include "MainWindow.h"
#include "Race.h"
#include "MessageHandlers.h"
#include "NetTestFolder.h"
#include "PlayRequests.h"
#include "PlaySettingsRules.h"
#include "RaceModel.h"
#include "RadioGroup.h"
#include "RosterList.h"
#include "records.h"
#include "TestGame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int Count = 10000;
constexpr quint16 Port = 4532;

struct Summary {
    double medianUs, worstUs;
};

Summary summarise(QList<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return {ns[ns.size() / 2] / 1000.0, ns.last() / 1000.0};
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("HOLLYFROST_BIND_ADDRESS", "127.0.0.51");
    QApplication app(argc, argv);
    NetTestFolder folder(Port, Port - 2, {"Pip.acs", "Bolt.acs"});
    Records::Options.UserName = Records::Options.DisplayName = QStringLiteral("Bench");
    Records::Options.UserUin = 50005;
    TestGame game;
    Race &race = game.race;
    FollowPlaySettings(race, game.settings);
    InviteList invites;
    PlayRequests playRequests(race, game.session, game.settings, game.roster, game.dialogs, invites, game.dispatcher);
    MainWindow main(race, playRequests);
    InstallMessageHandlers(race, playRequests);
    MessengerParameters parameters;
    GameTransport internet(game.receiver(), parameters);
    game.transport.use(&internet);
    internet.StartListening();
    if (!internet.Listening()) {
        std::fprintf(stderr, "bench: cannot bind 127.0.0.51:%d\n", Port);
        return 1;
    }
    // A host with one remote contestant: its readiness messages are looked up and marked.
    main.PlayModeGroup->setItemIndex(HostGame);   // the race's rules put the user first
    game.model.contestants[*game.roster.add(QStringLiteral("Jo"), QStringLiteral("60006"), QStringLiteral("Bolt.acs"))].Address =
        QStringLiteral("127.0.0.52");
    Peer peer(QStringLiteral("127.0.0.52"), 0);

    QElapsedTimer clock;
    clock.start();
    qint64 sentAt = 0, readAt = 0;
    bool done = false;
    QList<qint64> fromSend, fromRead;
    QObject::connect(&internet, &GameTransport::datagramAccepted, [&] { readAt = clock.nsecsElapsed(); });
    QObject::connect(&internet, &GameTransport::datagramDispatched, [&] {
        const qint64 now = clock.nsecsElapsed();
        fromSend.append(now - sentAt);
        fromRead.append(now - readAt);
        done = true;
    });
    for (int i = 0; i < Count; ++i) {
        done = false;
        // An answer counts for the question outstanding: question i is out to Jo.
        game.model.contestants[1].Confirmed = SlotQuestionOutstanding;
        game.model.contestants[1].QuestionNumber = i + 1;
        const QByteArray number = QByteArray::number(i);
        const QByteArray text = i % 2 ? "RRJo&&" + number : "RBJo&&60006&&" + number + "&&" + number;
        sentAt = clock.nsecsElapsed();
        peer.send(text, QStringLiteral("127.0.0.51"), Port);
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        const auto finished = QObject::connect(&internet, &GameTransport::datagramDispatched, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(finished);
        if (!done) {
            std::fprintf(stderr, "bench: datagram %d was not dispatched\n", i);
            return 1;
        }
    }
    const Summary send = summarise(fromSend), read = summarise(fromRead);
    std::printf("dispatch of %d datagrams (answers and readiness at a host)\n", Count);
    std::printf("  from the send:        median %.1f us, worst %.1f us\n", send.medianUs, send.worstUs);
    std::printf("  from the socket read: median %.1f us, worst %.1f us\n", read.medianUs, read.worstUs);
    std::printf("  target: under 1000 us -> %s\n", send.worstUs < 1000 ? "met (worst)" : send.medianUs < 1000 ? "met (median)" : "missed");
    std::printf("  right answers counted: %d\n", game.model.contestants[1].Score);
    return 0;
}
