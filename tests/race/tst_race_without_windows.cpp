// A hosted race run by the race layer alone: no window, no display, no platform plugin, on
// a virtual clock. The five remote contestants are fakes on loopback addresses that speak
// the wire format; one of them loses every third datagram it is sent. And a joiner's races
// with a host on loopback: its start, its cancel, its questions and its silence.
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "Messages.h"
#include "NetTestFolder.h"
#include "QuestionRound.h"
#include "Race.h"
#include "RaceModel.h"
#include "RaceScreen.h"
#include "Roster.h"
#include "FakeStage.h"
#include "TestGame.h"
#include "VirtualClock.h"
#include "Utilities.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <map>
#include <memory>

namespace {

constexpr quint16 TestGamePort = 47912;
constexpr quint16 TestMessengerPort = 47910;
const QString HostAddress = QStringLiteral("127.0.0.61");

// Another player's copy of the game, as far as the host sees it: it acknowledges what
// the host sends and answers every question right at once, resending its report every
// 500 ms until the host acknowledges it. A lossy one loses every third datagram sent to it.
class RemoteContestant
{
public:
    RemoteContestant(const GameSession &host, const QString &address, const QString &uin, bool lossy)
        : host(host), uin(uin), lossy(lossy)
    {
        socket.bind(QHostAddress(address), TestGamePort, QAbstractSocket::DontShareAddress);
        QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] { receive(); });
    }
    bool bound() const { return socket.state() == QAbstractSocket::BoundState; }

    int rightAnswers = 0;
    int finalPositions = 0;   // position sets taken once the race was over
    bool startTaken = false;
    QList<std::size_t> lost;  // the kinds of the datagrams lost

private:
    // One in three of the datagrams it is sent: the 2nd, the 5th, the 8th... (the host's
    // traffic repeats every nine datagrams, so this pattern loses questions, rosters and
    // position sets alike).
    bool loses(const std::optional<Message> &message)
    {
        if (!lossy || ++received % 3 != 2)
            return false;
        lost << (message ? message->index() : std::variant_npos);
        return true;
    }

    void send(Message message)
    {
        std::visit([this](auto &kind) { kind.sender = QStringLiteral("Remote") + uin; }, message);
        socket.writeDatagram(ToBytes(serialize(message)), QHostAddress(HostAddress), TestGamePort);
    }

    void sendReport(quint64 generation, int left)
    {
        if (reportAcknowledged || generation != reportGeneration || left == 0)
            return;
        send(report);
        GameClock().after(500, [this, generation, left] { sendReport(generation, left - 1); });
    }

    void receive()
    {
        while (socket.hasPendingDatagrams()) {
            const std::optional<Message> message = Msg::parse(FromBytes(socket.receiveDatagram().data()));
            if (loses(message) || !message)
                continue;
            if (std::holds_alternative<Msg::Acknowledge>(*message)) {
                reportAcknowledged = true;   // the host acknowledges nothing but reports
                continue;
            }
            send(Msg::Acknowledge{});
            if (const auto *question = std::get_if<Msg::Question>(&*message)) {
                if (question->number == lastQuestion)
                    continue;   // a resend: acknowledged, answered already
                lastQuestion = question->number;
                ++rightAnswers;
                report = Msg::RightAnswer{{uin, question->answer, question->number, {}}};
                reportAcknowledged = false;
                sendReport(++reportGeneration, 15);
            } else if (std::holds_alternative<Msg::StartRace>(*message)) {
                startTaken = true;
            } else if (std::holds_alternative<Msg::Positions>(*message) && !host.raceRunning()) {
                ++finalPositions;
            }
        }
    }

    QUdpSocket socket;
    const GameSession &host;
    QString uin;
    bool lossy;
    int received = 0;
    std::optional<int> lastQuestion;
    Message report;
    bool reportAcknowledged = true;
    quint64 reportGeneration = 0;
};

} // namespace

// The host a joiner's tests join: a socket on its own loopback address.
const QString JoinedHostAddress = QStringLiteral("127.0.0.67");
const QString TwoPlayerRoster = QStringLiteral("RSHosty&&1001&&Hosty&&Pip.acs&&1002&&Me&&Bolt.acs")
                                + QStringLiteral("&& && && ").repeated(4);

class TestRaceWithoutWindows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void sixContestantsRaceToTheScoreboard();
    void aStartKeptWhileARaceWindsDownDiesWithACancel();
    void aJoinedRaceEndsWithItsHost();

private:
    // Joins the host's race of two and returns once its rounds run here.
    void joinUntilRounds();
    // How many of the datagrams the host got since the last call start with code.
    int toHost(const QByteArray &code)
    {
        const QList<QByteArray> texts = host->texts(host->drain(0));
        return int(std::count_if(texts.begin(), texts.end(), [&code](const QByteArray &text) { return text.startsWith(code); }));
    }
    // "Join a Game", accepted by the host at once.
    void join();
    // The host sends text now (it arrives at the next turn of the clock).
    void fromHost(const QString &text) { host->send(ToBytes(text), HostAddress, TestGamePort); }
    void pickPlayMode(PlayMode mode)
    {
        game.settings.setPlayMode(mode);
        race.playModeChosen(mode);
    }

    std::unique_ptr<NetTestFolder> folder;
    VirtualClock clock;
    FakeStage stage;
    NoDialogs dialogs;
    MessengerParameters parameters;   // as main keeps them, for the transport
    std::unique_ptr<GameTransport> transport;
    std::unique_ptr<Peer> host;
    TestGame game;
    Race &race = game.race;
    QList<RaceStep> steps;
};

void TestRaceWithoutWindows::initTestCase()
{
    QVERIFY(!qobject_cast<QGuiApplication *>(QCoreApplication::instance()));
    qputenv("HOLLYFROST_BIND_ADDRESS", HostAddress.toLatin1());
    folder = std::make_unique<NetTestFolder>(TestGamePort, TestMessengerPort);
    UseClock(&clock);
    game.stage.use(&stage);
    game.dialogs.use(&dialogs);
    game.screen.setSource([] { return QRect(0, 0, 1200, 600); });
    transport = std::make_unique<GameTransport>(game.receiver(), parameters);
    game.transport.use(transport.get());
    transport->StartListening();
    QVERIFY(transport->Listening());
    race.installMessageHandlers();
    host = std::make_unique<Peer>(JoinedHostAddress, TestGamePort);
    QVERIFY(host->bound());
    connect(&race, &Race::raceStep, this, [this](RaceStep step) { steps << step; });
}

void TestRaceWithoutWindows::cleanupTestCase()
{
    host.reset();
    transport.reset();
    game.stage.use(nullptr);
    game.dialogs.use(nullptr);
    UseClock(nullptr);
}

void TestRaceWithoutWindows::join()
{
    pickPlayMode(JoinGame);
    game.session.setRequestedHostAddress(JoinedHostAddress);
    game.session.setHostAddress(JoinedHostAddress);
}

void TestRaceWithoutWindows::joinUntilRounds()
{
    join();
    fromHost(TwoPlayerRoster);
    fromHost(QStringLiteral("SRHosty"));
    QVERIFY(clock.runUntil([this] { return game.session.raceRunning(); }, clock.nowMs() + 60 * 1000));
}

void TestRaceWithoutWindows::sixContestantsRaceToTheScoreboard()
{
    std::vector<std::unique_ptr<RemoteContestant>> remotes;
    game.settings.setPlayMode(HostGame);
    game.settings.setGameType(MixedProblemsType);
    game.settings.setDifficulty(Easy);
    QVERIFY(game.roster.append({QStringLiteral("1000"), QStringLiteral("Host"), QStringLiteral("Host.acs")}));
    for (int n = 1; n < MaxContestants; ++n) {
        const QString uin = QString::number(1000 + n);
        const QString address = QStringLiteral("127.0.0.%1").arg(61 + n);
        remotes.push_back(std::make_unique<RemoteContestant>(game.session, address, uin, n == 3));
        QVERIFY(remotes.back()->bound());
        const std::optional<int> slot = game.roster.append({uin, QStringLiteral("Remote") + uin, uin + QStringLiteral(".acs")});
        QCOMPARE(slot, std::optional<int>(n));
        game.model.contestants[n].Address = address;
    }

    steps.clear();
    race.ticker().start();
    QElapsedTimer wall;
    wall.start();
    race.start();
    const auto scoreboard = [this] { return steps.contains(RaceStep::ScoreboardShown); };
    QVERIFY(clock.runUntil(scoreboard, 10 * 60 * 1000));
    qInfo("The race took %lld ms of game time and %lld ms of wall time.", clock.nowMs(), wall.elapsed());

    // A remote contestant won with eight right answers, and every one took the start;
    // the one that loses datagrams got its questions and the final positions as well.
    RankContestants(game.roster, game.session.raceRun().standings);
    QVERIFY(game.session.raceRun().standings.first >= 1);
    QVERIFY(game.model.contestants[game.session.raceRun().standings.first].Score >= 8);
    QCOMPARE(game.model.contestants[0].Score, 0);   // the host's player answered nothing
    const QList<std::size_t> &lost = remotes[2]->lost;
    QVERIFY(lost.count(MessageIndex<Msg::Question>) >= 1);
    QVERIFY(lost.count(MessageIndex<Msg::Roster>) + lost.count(MessageIndex<Msg::StartRace>) >= 1);
    QVERIFY(lost.count(MessageIndex<Msg::Positions>) >= 1);
    for (const auto &remote : remotes) {
        QVERIFY(remote->startTaken);
        QVERIFY(remote->rightAnswers >= 8);
        QVERIFY(remote->finalPositions >= 1);
    }
    QVERIFY(steps.indexOf(RaceStep::Opened) < steps.indexOf(RaceStep::ScoreboardShown));

    race.ticker().stop();
    race.cancel();
    clock.runUntil([this] { return !race.inProgress(); }, clock.nowMs() + 60 * 1000);
}

void TestRaceWithoutWindows::aStartKeptWhileARaceWindsDownDiesWithACancel()
{
    // The joiner presents the host's race; the player joins again and the host starts
    // at once, while the left race still winds down: that start waits for it. Then the
    // host cancels, or the player picks Practice: no race may follow by itself.
    for (const bool hostCancels : {true, false}) {
        join();
        fromHost(TwoPlayerRoster);
        fromHost(QStringLiteral("SRHosty"));
        clock.runFor(4000);
        QVERIFY(race.inProgress());
        join();
        fromHost(TwoPlayerRoster);
        fromHost(QStringLiteral("SRHosty"));
        clock.runFor(400);
        QVERIFY(race.inProgress());   // the left race winds down; the new start waits
        if (hostCancels) {
            fromHost(QStringLiteral("RCHosty"));
            clock.runFor(500);
            fromHost(QStringLiteral("RCHosty"));
        } else {
            pickPlayMode(PracticeGame);
        }
        QVERIFY(clock.runUntil([this] { return !race.inProgress(); }, clock.nowMs() + 30 * 1000));
        clock.runFor(5000);
        QVERIFY2(!race.inProgress(), hostCancels ? "after the host's cancel" : "after Practice");
        QCOMPARE(game.roster.count(), hostCancels ? 2 : 1);
    }
}

void TestRaceWithoutWindows::aJoinedRaceEndsWithItsHost()
{
    // A right answer is reported to the host, which does not acknowledge: the host's
    // cancel, the player's Cancel Game or a new play mode ends the report's resends, and
    // no later question of that race is shown.
    const QList<std::pair<const char *, std::function<void()>>> cancels = {
        {"the host's cancel", [this] { fromHost(QStringLiteral("RCHosty")); }},
        {"Cancel Game", [this] { race.cancel(); }},
        {"Practice", [this] { pickPlayMode(PracticeGame); }},
    };
    for (const auto &[name, cancel] : cancels) {
        joinUntilRounds();
        fromHost(QStringLiteral("RZHosty&&MA&&12&&7 + 5&&1"));
        clock.runFor(100);
        QCOMPARE(race.questions().submit(QStringLiteral("12")), AnswerVerdict::Right);
        clock.runFor(1200);
        QVERIFY(toHost("RB") >= 2);
        cancel();
        fromHost(QStringLiteral("RZHosty&&MA&&9&&4 + 5&&2"));   // a question of the race left
        clock.runFor(10 * 1000);
        QVERIFY2(toHost("RB") == 0, name);
        QCOMPARE(race.questions().answer(), QStringLiteral("12"));
        QVERIFY(clock.runUntil([this] { return !race.inProgress(); }, clock.nowMs() + 30 * 1000));
    }

    // The host's positions keep the race going; once the host falls silent (its cancel
    // lost) the race ends as on its cancel, some 15 s later, instead of never.
    joinUntilRounds();
    steps.clear();
    for (int n = 1; n <= 10; ++n) {
        fromHost(QStringLiteral("RPHosty&&%1&&0&&0&&0&&0&&0&&%1").arg(n));
        clock.runFor(2000);
    }
    QCOMPARE(game.model.contestants[0].Progress, 10);
    clock.runFor(12 * 1000);
    QVERIFY(game.session.raceRunning());
    QVERIFY(clock.runUntil([this] { return !race.inProgress(); }, clock.nowMs() + 10 * 1000));
    QVERIFY(steps.contains(RaceStep::Cancelled));
    QVERIFY(game.session.hostAddress().isEmpty());
    QVERIFY(game.model.shutdownCountdown > 0);
}

QTEST_GUILESS_MAIN(TestRaceWithoutWindows)
#include "tst_race_without_windows.moc"
