// A network game in one process: a host and two joiners, each a copy of the game with its
// own race, on an in-memory network and the virtual clock, with no window and no socket.
// Each player answers every question shown to it, right, a moment later.
#include "FakeStage.h"
#include "MemoryNetwork.h"
#include "NetTestFolder.h"
#include "records.h"
#include "TestGame.h"
#include "VirtualClock.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace {

constexpr quint16 UnusedGamePort = 47922;
const QString HostAt = QStringLiteral("10.0.0.1");

// One player's copy of the game on its port of the network.
struct Copy {
    Copy(MemoryNetwork &network, const QString &address) : address(address), port(network, address)
    {
        game.stage.use(&stage);
        game.transport.use(&port);
        game.screen.setSource([] { return QRect(0, 0, 1200, 600); });
        port.receiveWith(game.receiver());
        QuestionRound &questions = game.race.questions();
        const auto answer = [&questions] {
            GameClock().after(100, [&questions] { questions.submit(questions.answer()); });
        };
        QObject::connect(&questions, &QuestionRound::questionShown, answer);
        QObject::connect(&questions, &QuestionRound::memoryTestShown, answer);
        QObject::connect(&game.race, &Race::raceStep, [this](RaceStep step) {
            steps << step;
            if (step == RaceStep::ScoreboardShown)
                scoreboard = shownStandings();
        });
        game.race.installMessageHandlers();
    }

    // The play mode picked, as the main window's group picks it.
    void pick(PlayMode mode)
    {
        game.settings.setPlayMode(mode);
        game.race.playModeChosen(mode);
    }
    // The names in the first three places, as the race track shows them.
    QStringList shownStandings() const
    {
        const RaceStandings &places = game.session.raceRun().standings;
        QStringList names;
        for (const int slot : {places.first, places.second, places.third})
            names << game.model.contestants[slot].PlayerName;
        return names;
    }

    QString address;
    FakeStage stage;
    MemoryNetwork::Port port;   // before the game: it outlives the game's last sends
    TestGame game;
    QList<RaceStep> steps;
    QStringList scoreboard;
};

} // namespace

class TestNetworkGame : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void aHostAndTwoJoinersRaceAndCancel();

private:
    // Each joiner picks "Join a Game" and is accepted by the host, which lists them.
    void setUpGame();
    bool runUntil(const std::function<bool()> &done, int gameMs)
    {
        return clock.runUntil(done, clock.nowMs() + ScaledInterval(gameMs));
    }

    std::unique_ptr<NetTestFolder> folder;
    VirtualClock clock;
    MemoryNetwork network;
    std::unique_ptr<Copy> host, jo, al;
};

void TestNetworkGame::initTestCase()
{
    folder = std::make_unique<NetTestFolder>(UnusedGamePort, quint16(UnusedGamePort - 2),
                                             QStringList{QStringLiteral("Pip.acs")});
    Records::Options.UserName = Records::Options.DisplayName = QStringLiteral("Hosty");
    Records::Options.UserCharacterFile = folder->characters() + QStringLiteral("Pip.acs");
    Records::Options.UserUin = 1001;
    UseClock(&clock);
    host = std::make_unique<Copy>(network, HostAt);
    jo = std::make_unique<Copy>(network, QStringLiteral("10.0.0.2"));
    al = std::make_unique<Copy>(network, QStringLiteral("10.0.0.3"));
    al->port.loseEvery(3);   // the lossy link
}

void TestNetworkGame::cleanupTestCase()
{
    al.reset();
    jo.reset();
    host.reset();
    UseClock(nullptr);
}

void TestNetworkGame::setUpGame()
{
    host->pick(HostGame);   // the joiners of a game before hear its end first
    clock.runFor(1000);
    host->game.settings.setGameType(MixedProblemsType);
    host->game.settings.setDifficulty(Easy);
    const QList<Copy *> joiners = {jo.get(), al.get()};
    for (Copy *joiner : joiners) {
        joiner->pick(JoinGame);
        joiner->game.session.setHostAddress(HostAt);
        const QString uin = QString::number(2000 + int(host->game.roster.count()));
        const std::optional<int> slot =
            host->game.roster.append({uin, QStringLiteral("Joiner") + uin, uin + QStringLiteral(".acs")});
        QVERIFY(slot);
        host->game.model.contestants[*slot].Address = joiner->address;
    }
    for (Copy *copy : {host.get(), jo.get(), al.get()})
        copy->steps.clear();
}

void TestNetworkGame::aHostAndTwoJoinersRaceAndCancel()
{
    QElapsedTimer wall;
    wall.start();
    const QList<Copy *> copies = {host.get(), jo.get(), al.get()};
    const auto every = [&copies](const std::function<bool(Copy &)> &holds) {
        return std::all_of(copies.begin(), copies.end(), [&holds](Copy *copy) { return holds(*copy); });
    };

    // A Mixed Problems race: the host puts the questions, the joiners follow its positions;
    // every copy shows the same scoreboard, the lossy joiner's too.
    setUpGame();
    host->game.race.start();
    QVERIFY(runUntil([&every] { return every([](Copy &copy) { return !copy.scoreboard.isEmpty(); }); }, 600000));
    QCOMPARE(jo->scoreboard, host->scoreboard);
    QCOMPARE(al->scoreboard, host->scoreboard);
    QVERIFY(host->game.model.contestants[host->game.session.raceRun().standings.first].Score >= 8);
    QVERIFY(al->port.lost() > 0);
    QVERIFY(runUntil([&every] { return every([](Copy &copy) { return !copy.game.race.inProgress(); }); }, 60000));

    // The next race is cancelled by its host once the rounds run everywhere: both joiners
    // end it at once, not only when the host has been silent for long.
    setUpGame();
    host->game.race.start();
    QVERIFY(runUntil([&every] { return every([](Copy &copy) { return copy.steps.contains(RaceStep::RoundsRunning); }); },
                     120000));
    host->game.race.cancel();
    QVERIFY(runUntil([&every] { return every([](Copy &copy) { return !copy.game.race.inProgress(); }); }, 2000));
    QVERIFY(jo->steps.contains(RaceStep::Cancelled));
    QVERIFY(al->steps.contains(RaceStep::Cancelled));
    QVERIFY(!al->steps.contains(RaceStep::ScoreboardShown));
    QVERIFY2(wall.elapsed() < 2000, qPrintable(QStringLiteral("%1 ms").arg(wall.elapsed())));
}

QTEST_GUILESS_MAIN(TestNetworkGame)
#include "tst_network_game.moc"
