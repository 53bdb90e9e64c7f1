// The play requests and invitations with no window: a request checked before and after
// the host's question (the refusal codes on the wire), and the invitations' rules, with
// dialogs of the test's own and a socket on a loopback address for the requester.
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "InviteList.h"
#include "NetTestFolder.h"
#include "PlayRequests.h"
#include "PlaySettings.h"
#include "Race.h"
#include "RaceModel.h"
#include "records.h"
#include "Roster.h"
#include "TestGame.h"

#include <QCoroTask>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr quint16 TestGamePort = 47942;
const QString Requester = QStringLiteral("127.0.0.82");

// Boxes kept as texts; each question waits until the test answers it.
struct HeldDialogs : Dialogs {
    QStringList shown;
    QList<std::function<void(bool)>> open;
    void beep(BeepKind) override {}
    void show(BoxKind, const QString &text, std::function<void()> closed) override
    {
        shown << text;
        if (closed)
            closed();
    }
    void ask(const QString &, std::function<void(bool)> answered) override { open << std::move(answered); }
    void answer(bool yes) { open.takeFirst()(yes); }
};

} // namespace

class TestPlayRequests : public QObject
{
    Q_OBJECT
    MessengerParameters parameters;   // as main keeps them, for the transport
    std::unique_ptr<NetTestFolder> folder;
    std::unique_ptr<GameTransport> transport;
    std::unique_ptr<Peer> requester;
    HeldDialogs dialogs;
    TestGame game;
    Race &race = game.race;
    GameSession &session = game.session;
    PlaySettings &settings = game.settings;
    Roster &roster = game.roster;
    InviteList invites;
    PlayRequests requests{race, session, settings, roster, dialogs, invites, game.dispatcher};

    // A request from the requester's address for a character; the refusal code sent, or
    // "accepted".
    QByteArray request(const QString &uin, const QString &character, std::optional<bool> answer)
    {
        Task<> handled = requests.HandlePlayRequest(Requester, Msg::PlayRequest{uin, character, QStringLiteral("Jo")});
        // The question is asked exactly when an answer is expected.
        const bool asked = !dialogs.open.isEmpty();
        if (asked)
            dialogs.answer(answer.value_or(false));
        QCoro::waitFor(std::move(handled));
        if (asked != answer.has_value())
            return asked ? "asked" : "not asked";
        for (const QByteArray &text : requester->texts(requester->drain(50))) {
            if (text.startsWith("RD"))
                return text.right(3);
            if (text.startsWith("RA"))
                return "accepted";
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!qobject_cast<QGuiApplication *>(QCoreApplication::instance()));
        qputenv("HOLLYFROST_BIND_ADDRESS", "127.0.0.81");
        folder = std::make_unique<NetTestFolder>(TestGamePort, quint16(TestGamePort - 2), QStringList{"Pip.acs", "Bolt.acs"});
        transport = std::make_unique<GameTransport>(game.receiver(), parameters);
        game.transport.use(transport.get());
        transport->StartListening();
        QVERIFY(transport->Listening());
        requester = std::make_unique<Peer>(Requester, TestGamePort);
        QVERIFY(requester->bound());
        requester->answer("RL", "AKJo", TestGamePort);   // the roster's sends are acknowledged
        Records::Options.UserUin = 50005;
        Records::Options.UserName = QStringLiteral("Robin");
        Records::Options.DisplayName = QStringLiteral("Robin");
    }

    void requestsAreCheckedBeforeAndAfterTheQuestion()
    {
        roster.reset();
        settings.setPlayMode(JoinGame);
        QCOMPARE(request(QStringLiteral("60006"), QStringLiteral("Bolt.acs"), std::nullopt), QByteArray("rx3"));
        settings.setPlayMode(HostGame);
        QVERIFY(roster.append({QStringLiteral("50005"), QStringLiteral("Robin"), QStringLiteral("Pip.acs")}));
        // The user says No; then a character or a UIN already racing is refused unasked.
        QCOMPARE(request(QStringLiteral("60006"), QStringLiteral("Bolt.acs"), false), QByteArray("rx0"));
        QCOMPARE(request(QStringLiteral("60006"), QStringLiteral("pip.ACS"), std::nullopt), QByteArray("rx2"));
        QCOMPARE(request(QStringLiteral("50005"), QStringLiteral("Bolt.acs"), std::nullopt), QByteArray("rx5"));
        QVERIFY(dialogs.open.isEmpty());
        // Yes: the requester joins the roster with its address.
        QCOMPARE(request(QStringLiteral("60006"), QStringLiteral("Bolt.acs"), true), QByteArray("accepted"));
        QCOMPARE(roster.count(), 2);
        QCOMPARE(game.model.contestants[1].Address, Requester);
        // A race started, or this copy gone to join, while the question was open: the
        // request is checked again after the answer.
        roster.reset();
        QVERIFY(roster.append({QStringLiteral("50005"), QStringLiteral("Robin"), QStringLiteral("Pip.acs")}));
        Task<> pending = requests.HandlePlayRequest(Requester, Msg::PlayRequest{QStringLiteral("60006"), QStringLiteral("Bolt.acs"), {}});
        session.setRaceRunning(true);
        dialogs.answer(true);
        QCoro::waitFor(std::move(pending));
        QCOMPARE(requester->texts(requester->drain(50)), QList<QByteArray>{"RDRobin&&rx4"});
        QCOMPARE(roster.count(), 1);
        session.setRaceRunning(false);
    }

    void invitationsNeedAGameType()
    {
        settings.setGameType(NoGameType);
        QSignalSpy sending(&requests, &PlayRequests::invitationsSending);
        dialogs.shown.clear();
        QCoro::waitFor(requests.InvitePlayers());
        QCOMPARE(dialogs.shown, QStringList{"Please select a Game Type First"});
        QCOMPARE(sending.size(), 0);
        // The invite list: the whole UIN of a checked buddy, sorted by its text.
        invites.setBuddies({{QStringLiteral("70007"), QStringLiteral("Al")}, {QStringLiteral("60006"), QStringLiteral("Jo")}});
        QCOMPARE(invites.index(0).data().toString(), QStringLiteral("60006  Jo"));
        QVERIFY(invites.checked(QStringLiteral("70007")));
        QVERIFY(invites.setData(invites.index(1), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!invites.checked(QStringLiteral("70007")));
        for (const QString &part : {QStringLiteral("6000"), QStringLiteral("0006"), QStringLiteral("Jo"), QString()})
            QVERIFY2(!invites.checked(part), qPrintable(part));
    }
};

QTEST_GUILESS_MAIN(TestPlayRequests)
#include "tst_play_requests.moc"
