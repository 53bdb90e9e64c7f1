// A hosted race run by the race layer alone: no window, no display, no platform plugin, on
// a virtual clock. The five remote contestants are fakes on loopback addresses that speak
// the wire format; one of them loses every third datagram it is sent.
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

// Game time that runs only when nothing else is left to do: every event waiting is
// handled first (datagrams included), then the clock jumps to the next timer due.
class VirtualClock : public Clock
{
public:
    void after(int ms, std::function<void()> done) override
    {
        due.emplace(now + ScaledInterval(ms), std::move(done));
    }
    qint64 nowMs() const override { return now; }

    // Runs until finished() holds; false once limitMs of game time went by without it.
    bool runUntil(const std::function<bool()> &finished, qint64 limitMs)
    {
        for (;;) {
            settle();
            if (finished())
                return true;
            if (due.empty() || due.begin()->first > limitMs)
                return false;
            const auto next = due.begin();
            now = next->first;
            const std::function<void()> call = std::move(next->second);
            due.erase(next);
            call();
        }
    }

private:
    // A datagram sent on loopback is readable at once; its answer needs another turn.
    static void settle()
    {
        for (int turn = 0; turn < 8; ++turn)
            QCoreApplication::processEvents();
    }

    qint64 now = 0;
    std::multimap<qint64, std::function<void()>> due;   // equal times in the order asked
};

// The characters without a screen: a character is where it was last sent, at once.
class FakeStage : public NoStage
{
public:
    bool load(int, const QString &, bool, bool, const QString &identity) override
    {
        at.insert(identity, QPoint(0, 0));
        return true;
    }
    void unload(const QString &identity) override { at.remove(identity); }
    void move(int x, int y, const QString &identity, int) override
    {
        if (at.contains(identity))
            at.insert(identity, QPoint(x, y));
    }
    bool loaded(const QString &identity) const override { return at.contains(identity); }
    QPoint position(const QString &identity) const override { return at.value(identity); }

private:
    QHash<QString, QPoint> at;
};

// Another player's copy of the game, as far as the host sees it: it acknowledges what
// the host sends and answers every question right at once, resending its report every
// 500 ms until the host acknowledges it. A lossy one loses every third datagram sent to it.
class RemoteContestant
{
public:
    RemoteContestant(const QString &address, const QString &uin, bool lossy) : uin(uin), lossy(lossy)
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
            } else if (std::holds_alternative<Msg::Positions>(*message) && !GameSession::current().raceRunning()) {
                ++finalPositions;
            }
        }
    }

    QUdpSocket socket;
    QString uin;
    bool lossy;
    int received = 0;
    std::optional<int> lastQuestion;
    Message report;
    bool reportAcknowledged = true;
    quint64 reportGeneration = 0;
};

} // namespace

class TestRaceWithoutWindows : public QObject
{
    Q_OBJECT
private slots:
    void sixContestantsRaceToTheScoreboard();
};

void TestRaceWithoutWindows::sixContestantsRaceToTheScoreboard()
{
    QVERIFY(!qobject_cast<QGuiApplication *>(QCoreApplication::instance()));
    qputenv("HOLLYFROST_BIND_ADDRESS", HostAddress.toLatin1());
    NetTestFolder folder(TestGamePort, TestMessengerPort);
    VirtualClock clock;
    UseClock(&clock);
    FakeStage stage;
    NoDialogs dialogs;
    GameSession &session = GameSession::current();
    session.useStage(&stage);
    session.useDialogs(&dialogs);
    SetRaceScreenSource([] { return QRect(0, 0, 1200, 600); });

    GameTransport transport(DispatchMessage);
    transport.StartListening();
    QVERIFY(transport.Listening());
    Race race;
    race.installMessageHandlers();

    std::vector<std::unique_ptr<RemoteContestant>> remotes;
    session.playSettings().setPlayMode(HostGame);
    session.playSettings().setGameType(MixedProblemsType);
    session.playSettings().setDifficulty(Easy);
    QVERIFY(AppendContestant({QStringLiteral("1000"), QStringLiteral("Host"), QStringLiteral("Host.acs")}));
    for (int n = 1; n < MaxContestants; ++n) {
        const QString uin = QString::number(1000 + n);
        const QString address = QStringLiteral("127.0.0.%1").arg(61 + n);
        remotes.push_back(std::make_unique<RemoteContestant>(address, uin, n == 3));
        QVERIFY(remotes.back()->bound());
        const std::optional<int> slot = AppendContestant({uin, QStringLiteral("Remote") + uin, uin + QStringLiteral(".acs")});
        QCOMPARE(slot, std::optional<int>(n));
        Model().contestants[n].Address = address;
    }

    QList<RaceStep> steps;
    connect(&race, &Race::raceStep, this, [&steps](RaceStep step) { steps << step; });
    race.ticker().start();
    QElapsedTimer wall;
    wall.start();
    race.start();
    const auto scoreboard = [&steps] { return steps.contains(RaceStep::ScoreboardShown); };
    QVERIFY(clock.runUntil(scoreboard, 10 * 60 * 1000));
    qInfo("The race took %lld ms of game time and %lld ms of wall time.", clock.nowMs(), wall.elapsed());

    // A remote contestant won with eight right answers, and every one took the start;
    // the one that loses datagrams got its questions and the final positions as well.
    RankContestants();
    QVERIFY(CurrentRace().standings.first >= 1);
    QVERIFY(Model().contestants[CurrentRace().standings.first].Score >= 8);
    QCOMPARE(Model().contestants[0].Score, 0);   // the host's player answered nothing
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
    clock.runUntil([&race] { return !race.inProgress(); }, clock.nowMs() + 60 * 1000);
    session.useStage(nullptr);
    session.useDialogs(nullptr);
    UseClock(nullptr);
}

QTEST_GUILESS_MAIN(TestRaceWithoutWindows)
#include "tst_race_without_windows.moc"
