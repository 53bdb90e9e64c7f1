#include "Agent.h"
#include "CountdownWindow.h"
#include "GameSession.h"
#include "InviteList.h"
#include "MainWindow.h"
#include "MemoryTestWindow.h"
#include "MessageBoxes.h"
#include "MessageHandlers.h"
#include "PlayRequests.h"
#include "PlaySettingsRules.h"
#include "QuestionRound.h"
#include "QuestionWindow.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "Race.h"
#include "RaceScreen.h"
#include "RaceTrackWindow.h"
#include "RadioGroup.h"
#include "Stage.h"
#include "TestGame.h"
#include "Utilities.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

// The boxes main hands the game (to the answerers below); the characters' stage is the test's own.
ScreenDialogs screenDialogs;

// The race logic with the real windows and stage, offscreen and at a small time scale.
class TestRace : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir programFolder;
    TestGame game;
    Race &race = game.race;   // the race the windows start and follow
    MainWindow *main = nullptr;
    AgentStage *stage = nullptr;
    RaceTrackWindow *track = nullptr;
    CountdownWindow *countdown = nullptr;
    QuestionWindow *question = nullptr;
    MemoryTest memoryTest{race.questions(), GameClock()};
    MemoryTestWindow *memory = nullptr;
    InviteList invites;
    PlayRequests playRequests{race, game.session, game.settings, game.roster, game.dialogs, invites, game.dispatcher};
    QStringList boxes;
    QStringList spoken;

    // Puts contestants straight into the roster: names A, B, C ... with given progress.
    void roster(int mode, const QList<int> &progress)
    {
        main->PlayModeGroup->setItemIndex(mode);
        game.roster.reset();
        for (int slot = 0; slot < progress.size(); ++slot) {
            const QString name(QChar(u'A' + slot));
            game.roster.append({QStringLiteral(" "), name, name + QStringLiteral(".acs")});
            game.model.contestants[slot].Progress = progress[slot];
        }
    }

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void ranking_data();
    void ranking();
    void progressRules();
    void finisherIsFirstInListLeaderIsHighest();
    void puzzleRaceNeedsEightRightAnswers();
    void commentary_data();
    void commentary();
    void commentaryStaysSilent();
    void movesAndIdleGestures();
    void timerTurnsAndCommentaryCycle();
    void startRefusals();
    void countdownShowsNineToZero();
    void aFinishedRaceAnnouncesItsSteps();
    void cancelStopsTheRace();
    void unloadingReachesEveryCharacter();
    void noRaceStartsInsideARace();
    void startDuringATickWaitFollowsIt();
    void rosterChangeDuringARaceCancelsIt_data();
    void rosterChangeDuringARaceCancelsIt();
    void shutdownKeepsPracticeAndEndsOtherwise();

private:
    // Runs "Start Game"; while the race runs, calls during() once. A race that does not
    // end within the limit is cancelled (and the test fails).
    bool startRaceAndDuring(const std::function<void()> &during, int limitMs = 60000);
};

void TestRace::initTestCase()
{
    FollowPlaySettings(race, game.settings);   // the race's rules follow the settings
    // Our own phrase table, so that the commentary can be read back exactly.
    QFile phrases(programFolder.path() + "/stdtalk.lst");
    QVERIFY(phrases.open(QIODevice::WriteOnly));
    phrases.write("rt1 ALLTIED\r\nrt2 TIED\r\nrw1 LEAD\r\nrp1 SECOND\r\nrl1 THIRD\r\nwn1 WINNER\r\n");
    phrases.close();
    QVERIFY(QFile::copy(qEnvironmentVariable("HF_BIN_DIR") + "/Announcer.acs", programFolder.path() + "/Announcer.acs"));
    qputenv("HOLLYFROST_PROGRAM_FOLDER", programFolder.path().toLocal8Bit());
    qputenv("WINDIR", qgetenv("HF_WINDOWS_DIR"));
    SetMessageBoxAnswerer([this](BoxKind, const QString &text) { boxes << text; });
    game.dialogs.use(&screenDialogs);
    stage = new AgentStage(game.screen);
    game.stage.use(stage);
    stage->setSpeechObserver([this](const QString &identity, const QString &text) {
        if (identity == QLatin1String("Announcer"))
            spoken << text;
    });
    main = new MainWindow(race, playRequests);
    InstallMessageHandlers(race, playRequests);
    countdown = new CountdownWindow(race);
    question = new QuestionWindow(race.questions(), game.screen);
    memory = new MemoryTestWindow(memoryTest, game.screen);
    track = new RaceTrackWindow(race);
    race.random().seed(11);
}

void TestRace::init()
{
    boxes.clear();
    spoken.clear();
    game.session.setRaceRunning(false);
    game.model.dexterityCountdown = 0;
    game.model.shutdownCountdown = 0;
}

void TestRace::cleanupTestCase()
{
    game.stage.use(nullptr);
    SetMessageBoxAnswerer({});
    delete track;
    delete memory;
    delete question;
    delete countdown;
    delete stage;
    delete main;
}

void TestRace::ranking_data()
{
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<QList<int>>("expected");   // win, place, show
    QTest::newRow("distinct") << QList<int>{10, 40, 20, 30} << QList<int>{1, 3, 2};
    QTest::newRow("ties go to the lowest slot") << QList<int>{30, 30, 30} << QList<int>{0, 1, 2};
    QTest::newRow("zero never ranks: defaults stay") << QList<int>{0, 0, 0} << QList<int>{0, 1, 2};
    // Nobody else has moved: the lowest other slots stand in, never the winner again.
    QTest::newRow("only the last moved") << QList<int>{0, 0, 5} << QList<int>{2, 0, 1};
    QTest::newRow("only the second of two moved") << QList<int>{0, 9} << QList<int>{1, 0, 2};
    QTest::newRow("two contestants keep show at 2") << QList<int>{5, 9} << QList<int>{1, 0, 2};
}

void TestRace::ranking()
{
    QFETCH(QList<int>, progress);
    QFETCH(QList<int>, expected);
    roster(LocalRace, progress);
    RankContestants(game.roster, game.session.raceRun().standings);
    QCOMPARE((QList<int>{game.session.raceRun().standings.first, game.session.raceRun().standings.second, game.session.raceRun().standings.third}), expected);
}

void TestRace::progressRules()
{
    roster(LocalRace, {0, 0});
    QCOMPARE(main->GameType->itemIndex(), 0);   // a local race is a random race
    int total = 0;
    for (int round = 0; round < 200; ++round) {
        const int before = game.model.contestants[0].Progress;
        AdvanceProgress(game.model.contestants[0], game.settings.gameType(), race.random());
        const int step = game.model.contestants[0].Progress - before;
        QVERIFY(step >= 0 && step <= 15);
        total += step;
    }
    QVERIFY(total > 200 * 5 && total < 200 * 10);   // about 7.5 a round
    main->GameType->setItemIndex(3);
    game.model.contestants[1].Score = 5;
    AdvanceProgress(game.model.contestants[1], game.settings.gameType(), race.random());
    QCOMPARE(game.model.contestants[1].Progress, 60);
    main->GameType->setItemIndex(-1);
    AdvanceProgress(game.model.contestants[1], game.settings.gameType(), race.random());
    QCOMPARE(game.model.contestants[1].Progress, 60);
}

void TestRace::finisherIsFirstInListLeaderIsHighest()
{
    // On a joiner the progress comes from the host: the round only checks the finish.
    roster(JoinGame, {92, 97, 50});
    game.session.setRaceRunning(true);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!QCoro::waitFor(race.round()));
    // No character is loaded: the ceremony does not wait 30 s for the finisher to move.
    // Its own waits come to about 18 s of game time; each of its 45 or so waits may take
    // some milliseconds longer on a busy machine, which at this time scale adds seconds.
    QVERIFY2(clock.elapsed() / TimeScale() < 40000, qPrintable(QString::number(clock.elapsed() / TimeScale())));
    QVERIFY(!game.session.raceRunning());
    QCOMPARE(game.session.raceRun().standings.finisher, 0);
    QCOMPARE(game.session.raceRun().standings.first, 1);
    QVERIFY(track->ScoreBoard->isVisibleTo(track));
    QCOMPARE(track->WinLabel->text(), QString("  Win:  B (B)"));
    QCOMPARE(track->PlaceLabel->text(), QString(" Place: A (A)"));
    QCOMPARE(track->ShowLabel->text(), QString(" Show:  C (C)"));
    // A round that starts after the race stopped is the last one.
    roster(JoinGame, {10, 20});
    QVERIFY(!QCoro::waitFor(race.round()));
}

void TestRace::puzzleRaceNeedsEightRightAnswers()
{
    roster(PracticeGame, {0});
    main->GameType->setItemIndex(3);
    game.session.setRaceRunning(true);
    game.model.contestants[0].Score = 7;
    QVERIFY(QCoro::waitFor(race.round()));
    QCOMPARE(game.model.contestants[0].Progress, 84);
    game.model.contestants[0].Score = 8;
    QVERIFY(!QCoro::waitFor(race.round()));
    QCOMPARE(game.model.contestants[0].Progress, 96);
    QCOMPARE(game.session.raceRun().standings.finisher, 0);
}

void TestRace::commentary_data()
{
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("three tied") << QList<int>{20, 20, 20} << QStringList{"ALLTIED"};
    QTest::newRow("four with three tied") << QList<int>{20, 20, 20, 5}
                                          << QStringList{"ALLTIED", "With  A, B, C"};
    QTest::newRow("first two tied") << QList<int>{30, 10, 30} << QStringList{"TIED A, C"};
    QTest::newRow("all apart") << QList<int>{10, 50, 30} << QStringList{"LEAD B", "SECOND C", "THIRD A"};
    QTest::newRow("third has not started") << QList<int>{50, 30, 0} << QStringList{"LEAD A", "SECOND B"};
    QTest::newRow("two contestants") << QList<int>{50, 30} << QStringList{"LEAD A"};
}

void TestRace::commentary()
{
    QFETCH(QList<int>, progress);
    QFETCH(QStringList, expected);
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    roster(LocalRace, progress);
    game.session.setRaceRunning(true);
    game.session.raceRun().movedSinceCommentary = true;
    RankContestants(game.roster, game.session.raceRun().standings);
    QCoro::waitFor(race.commentary());
    QCOMPARE(spoken, expected);
    QVERIFY(!game.session.raceRun().movedSinceCommentary);
    game.session.setRaceRunning(false);
}

void TestRace::commentaryStaysSilent()
{
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    auto attempt = [&](int mode, int leader, int dexterity, bool moved) {
        roster(mode, {leader, 5, 3});
        game.session.setRaceRunning(true);
        game.session.raceRun().movedSinceCommentary = moved;
        game.model.dexterityCountdown = dexterity;
        RankContestants(game.roster, game.session.raceRun().standings);
        QCoro::waitFor(race.commentary());
        game.session.setRaceRunning(false);
        game.model.dexterityCountdown = 0;
    };
    attempt(PracticeGame, 50, 0, true);   // Practice has no commentary
    attempt(LocalRace, 9, 0, true);       // the leader has not reached 10
    attempt(LocalRace, 50, 3, true);      // a dexterity test is running
    attempt(LocalRace, 50, 0, false);     // nobody moved since the last remark
    QVERIFY2(spoken.isEmpty(), qPrintable(spoken.join('|')));
    attempt(LocalRace, 50, 0, true);
    QCOMPARE(spoken.size(), 3);
}

void TestRace::movesAndIdleGestures()
{
    roster(LocalRace, {50, 0});
    QVERIFY(stage->load(10, NthCharacterFile(1), false, false, "Player1"));
    const QSize screen = game.screen.size();
    const int rowTop = screen.height() / 2;
    // Loaded in the middle of the screen: the first turn lines it up at the start.
    game.session.raceRun().movedSinceCommentary = false;
    race.moveContestant(1);
    QVERIFY(game.session.raceRun().movedSinceCommentary);
    QTRY_COMPARE_WITH_TIMEOUT(stage->position("Player1"), QPoint(0, rowTop), 5000);
    // Lined up with no move ordered yet: an idle gesture (or nothing), no new move.
    game.session.raceRun().movedSinceCommentary = false;
    race.moveContestant(1);
    QVERIFY(!game.session.raceRun().movedSinceCommentary);
    game.model.contestants[1].Progress = 25;
    race.moveContestant(1);
    const int targetX = screen.width() / 4;
    QCOMPARE(game.model.contestants[1].LastX, targetX);
    QVERIFY(game.session.raceRun().movedSinceCommentary);
    QTRY_COMPARE_WITH_TIMEOUT(stage->position("Player1"), QPoint(targetX, rowTop), 5000);
    // Already there: an idle gesture (or nothing), no new move.
    game.session.raceRun().movedSinceCommentary = false;
    race.moveContestant(1);
    QVERIFY(!game.session.raceRun().movedSinceCommentary);
    // A progress far past the finish (or below the start) stays on the screen.
    game.model.contestants[1].Progress = 2000000000;
    race.moveContestant(1);
    QCOMPARE(game.model.contestants[1].LastX, screen.width());
    game.model.contestants[1].Progress = -2000000000;
    race.moveContestant(1);
    QCOMPARE(game.model.contestants[1].LastX, 0);
    stage->unload("Player1");
}

void TestRace::timerTurnsAndCommentaryCycle()
{
    roster(LocalRace, {0, 0});
    game.session.setRaceRunning(true);
    game.session.raceRun().turn = 0;
    game.session.raceRun().commentaryCycles = 0;
    for (int tick = 0; tick < 10; ++tick)
        QCoro::waitFor(race.tickStep());
    QCOMPARE(int(game.session.raceRun().turn), 10);
    QCOMPARE(game.session.raceRun().commentaryCycles, 0);
    QCoro::waitFor(race.tickStep());   // the eleventh tick starts the next cycle
    QCOMPARE(int(game.session.raceRun().turn), 1);
    QCOMPARE(game.session.raceRun().commentaryCycles, 1);
    for (int tick = 0; tick < 30; ++tick)
        QCoro::waitFor(race.tickStep());
    QCOMPARE(game.session.raceRun().commentaryCycles, 0);   // after the fourth cycle the commentary ran
    game.session.setRaceRunning(false);

    // The commentary waits for the leader to leave the start; once the ceremony has taken
    // over meanwhile, the tick moves nobody once more.
    roster(LocalRace, {50, 0});
    QVERIFY(stage->load(10, NthCharacterFile(1), false, false, "Player0"));
    stage->move(0, 0, "Player0", 0);
    QTRY_COMPARE_WITH_TIMEOUT(stage->position("Player0").x(), 0, 5000);
    game.session.setRaceRunning(true);
    RankContestants(game.roster, game.session.raceRun().standings);
    game.session.raceRun().turn = 10;
    game.session.raceRun().commentaryCycles = 3;
    game.session.raceRun().movedSinceCommentary = true;
    const qint32 lastX = game.model.contestants[0].LastX;
    QTimer::singleShot(50, this, [this] {
        game.session.setRaceRunning(false);   // the finish's ceremony
        stage->move(600, 0, "Player0", 0);
    });
    QCoro::waitFor(race.tickStep());
    QCOMPARE(game.model.contestants[0].LastX, lastX);
    stage->unload("Player0");
}

void TestRace::startRefusals()
{
    roster(LocalRace, {0});
    race.start();
    QCOMPARE(boxes, QStringList{"You need some contestants first"});
    QVERIFY(main->StartRace->isVisibleTo(main));
    boxes.clear();
    roster(PracticeGame, {0});   // one contestant is enough for Practice
    main->GameType->setItemIndex(-1);
    race.start();
    QCOMPARE(boxes, QStringList{"Please select a Game Type First"});
    QVERIFY(!game.session.raceRunning());
}

void TestRace::countdownShowsNineToZero()
{
    // The race counts and keeps the time; the window shows what it is told.
    QList<int> told;
    const auto record = connect(&race, &Race::countdownNumber, this, [&](int n) { told << n; });
    QStringList shown;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        if (shown.isEmpty() || shown.last() != countdown->Number->text())
            shown << countdown->Number->text();
    });
    sampler.start(1);
    QElapsedTimer clock;
    clock.start();
    auto counting = race.countdown();
    QVERIFY(countdown->isVisible());   // it appears at once, with the first number
    QCOMPARE(countdown->Number->text(), QString("9"));
    QCoro::waitFor(counting);
    sampler.stop();
    disconnect(record);
    QVERIFY(clock.elapsed() >= ScaledInterval(5000) * 0.95);
    QVERIFY(!countdown->isVisible());
    QCOMPARE(countdown->Number->text(), QString("0"));
    QCOMPARE(told, (QList<int>{9, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, CountdownOver}));
    QCOMPARE(shown.first(), QString("9"));
    QVERIFY(shown.contains("5"));
}

void TestRace::aFinishedRaceAnnouncesItsSteps()
{
    // The windows learn the race only from the session: its steps in order, the
    // countdown between the presentation and the start gate, the scoreboard after the
    // finish. The race track follows them: open through the race, gone at its end.
    roster(LocalRace, {0, 0});
    main->GameType->setItemIndex(0);
    QStringList told;
    const auto steps = connect(&race, &Race::raceStep, this, [&](RaceStep step) {
        // In the order of RaceStep.
        static const char *const names[] = {"Starting", "TrackOpened", "Opened", "RoundsRunning",
                                            "Cancelled", "ScoreboardShown", "Over"};
        told << names[int(step)];
        if (step == RaceStep::ScoreboardShown)
            told << (track->isVisible() && track->ScoreBoard->isVisibleTo(track) ? "board" : "no board");
    });
    const auto numbers = connect(&race, &Race::countdownNumber, this, [&](int n) { told << QString::number(n); });
    QVERIFY(startRaceAndDuring([] {}));
    disconnect(steps);
    disconnect(numbers);
    QCOMPARE(told, (QStringList{"Starting", "TrackOpened", "TrackOpened", "9", "9", "8", "7", "6", "5", "4", "3",
                                "2", "1", "0", "-1", "Opened", "RoundsRunning", "ScoreboardShown", "board", "Over"}));
    QVERIFY(!track->isVisible());
    QVERIFY(!countdown->isVisible());
}

void TestRace::cancelStopsTheRace()
{
    roster(LocalRace, {10, 20});
    game.session.setRaceRunning(true);
    game.model.dexterityCountdown = 4;
    main->CancelBtn->show();
    main->CancelBtn->click();
    QVERIFY(!game.session.raceRunning());
    QCOMPARE(game.model.dexterityCountdown, 0);
    QVERIFY(!main->CancelBtn->isVisibleTo(main));
}

bool TestRace::startRaceAndDuring(const std::function<void()> &during, int limitMs)
{
    bool called = false, stuck = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!called && game.session.raceRunning()) {
            called = true;
            during();
        }
    });
    watch.start(5);
    QTimer::singleShot(limitMs, this, [&] {
        stuck = race.inProgress();
        if (stuck)
            race.cancel();
    });
    race.start();
    // The race runs on from the event loop; a wait here lets it.
    const bool ended = QTest::qWaitFor([this] { return !race.inProgress(); }, limitMs + 60000);
    watch.stop();
    return called && !stuck && ended;
}

void TestRace::unloadingReachesEveryCharacter()
{
    // Six contestants raced; the list has changed since to one item. The goodbye and
    // unload steps, and "Unload Agents", still reach every character.
    auto loadAll = [this] {
        for (int slot = 0; slot < MaxContestants; ++slot)
            QVERIFY(stage->load(10, NthCharacterFile(1), false, false, PlayerIdentity(slot)));
        QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    };
    auto anyLoaded = [this] {
        for (const char *identity : {"Announcer", "Player0", "Player1", "Player2", "Player3", "Player4", "Player5"})
            if (stage->loaded(QLatin1String(identity)))
                return true;
        return false;
    };
    loadAll();
    roster(PracticeGame, {95});
    game.session.raceRun().standings.finisher = 0;
    game.model.shutdownCountdown = 16;
    QCoro::waitFor(race.tickStep());   // 15: the goodbye step hides all but the finisher
    for (int slot = 1; slot < MaxContestants; ++slot)
        QTRY_VERIFY(!stage->control().character(PlayerIdentity(slot))->visible());
    for (int tick = 0; tick < 15; ++tick)
        QCoro::waitFor(race.tickStep());
    QVERIFY(!anyLoaded());
    loadAll();
    main->UnloadBtn->click();
    QVERIFY(!anyLoaded());
}

void TestRace::noRaceStartsInsideARace()
{
    roster(PracticeGame, {0});
    main->GameType->setItemIndex(0);
    bool stillRunning = false;
    int countdownAfter = -1;
    QVERIFY(startRaceAndDuring([&] {
        main->StartRace->show();
        main->StartRace->click();   // a second start inside the race
        stillRunning = game.session.raceRunning();
        countdownAfter = game.model.shutdownCountdown;
        QVERIFY(stage->loaded("Player0"));
        main->CancelBtn->click();
    }));
    // The inner start returned at once: no second race ran (and ended) inside the first.
    QVERIFY(stillRunning);
    QCOMPARE(countdownAfter, 0);
    QVERIFY(!race.inProgress());
    QCOMPARE(game.model.shutdownCountdown, 50);
}

void TestRace::startDuringATickWaitFollowsIt()
{
    // "Start Game" while a tick of Ticker waits in the goodbye step would run the race
    // with the timer off: nobody would move. It starts after the tick.
    roster(PracticeGame, {0});
    main->GameType->setItemIndex(0);
    main->StartRace->show();
    game.session.raceRun().standings.finisher = 0;
    game.model.shutdownCountdown = 16;
    bool raced = false;
    QTimer::singleShot(0, this, [&] { main->StartRace->click(); });
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (game.session.raceRunning() && !raced) {
            raced = true;
            QVERIFY(!game.model.tickInProgress);
            main->CancelBtn->click();
        }
    });
    watch.start(5);
    race.ticker().tickNow();   // the tick that runs the goodbye step (and its wait)
    QVERIFY(game.model.tickInProgress);
    QTRY_VERIFY_WITH_TIMEOUT(!game.model.tickInProgress, 60000);
    race.ticker().stop();  // the tests run the ticks themselves
    QVERIFY(!raced);       // nothing started during the tick
    QTRY_VERIFY_WITH_TIMEOUT(raced, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!race.inProgress(), 60000);
}

void TestRace::rosterChangeDuringARaceCancelsIt_data()
{
    QTest::addColumn<int>("newMode");   // -1: "New Game"
    QTest::newRow("New Game") << -1;
    QTest::newRow("Practice") << int(PracticeGame);
    QTest::newRow("Join a Game") << int(JoinGame);
}

void TestRace::rosterChangeDuringARaceCancelsIt()
{
    QFETCH(int, newMode);
    roster(LocalRace, {0, 0, 0});
    bool trackWasUp = false, trackGone = false;
    QVERIFY(startRaceAndDuring([&] {
        trackWasUp = track->isVisible();
        if (newMode < 0)
            main->NewRaceBtn->click();
        else
            main->PlayModeGroup->setItemIndex(newMode);
        trackGone = !track->isVisible();   // at once, as after "Cancel Game"
    }));
    QVERIFY(trackWasUp && trackGone);
    // The race ended (it did not run on with an emptied roster) and was cancelled:
    // no finish, the shutdown countdown runs, the user's new choice stands.
    QVERIFY(!game.session.raceRunning());
    QVERIFY(!main->CancelBtn->isVisibleTo(main));
    QCOMPARE(game.model.shutdownCountdown, 50);
    QCOMPARE(main->PlayModeGroup->itemIndex(), newMode);
    QCOMPARE(main->Contestants->model()->rowCount(), newMode == PracticeGame ? 1 : 0);
    QCOMPARE(main->StartRace->isVisibleTo(main), newMode == PracticeGame);
    // The old race's characters go with the countdown's unload step (at 5), whatever
    // the list holds now.
    for (int tick = 0; tick < 45; ++tick)
        QCoro::waitFor(race.tickStep());
    QCOMPARE(game.model.shutdownCountdown, 5);
    for (int slot = 0; slot < 3; ++slot)
        QVERIFY(!stage->loaded(PlayerIdentity(slot)));
    game.model.shutdownCountdown = 0;
}

void TestRace::shutdownKeepsPracticeAndEndsOtherwise()
{
    roster(PracticeGame, {95});
    game.session.raceRun().standings.finisher = 0;
    game.model.shutdownCountdown = 16;
    for (int tick = 0; tick < 16; ++tick)
        QCoro::waitFor(race.tickStep());
    QCOMPARE(game.model.shutdownCountdown, 0);
    QVERIFY(!ApplicationTerminating());   // Practice picked again: the program stays
    main->PlayModeGroup->setItemIndex(-1);
    game.model.shutdownCountdown = 1;
    QCoro::waitFor(race.tickStep());
    QVERIFY(ApplicationTerminating());
}

QTEST_MAIN(TestRace)
#include "tst_race.moc"
