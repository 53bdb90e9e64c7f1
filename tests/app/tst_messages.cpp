#include "DataFiles.h"
#include "DexterityTest.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "InviteList.h"
#include "MainWindow.h"
#include "MemoryTestWindow.h"
#include "MessageBoxes.h"
#include "MessageHandlers.h"
#include "NetTestFolder.h"
#include "PlayRequests.h"
#include "PlaySettingsRules.h"
#include "QuestionRound.h"
#include "QuestionWindow.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "Race.h"
#include "RadioGroup.h"
#include "records.h"
#include "RequestWindow.h"
#include "RosterList.h"
#include "Stage.h"
#include "TestGame.h"
#include "Utilities.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <optional>

// The boxes main hands the game (to the answerers below); the characters' stage is the test's own.
ScreenDialogs screenDialogs;

// The game messages with the real main window: this game on 127.0.0.41, the remote
// players on 127.0.0.42 and 127.0.0.43 (addresses no other test uses).
namespace {
const QString PeerA = QStringLiteral("127.0.0.42");
const QString PeerB = QStringLiteral("127.0.0.43");
constexpr quint16 GamePortNumber = 4522;
constexpr quint16 MessengerPortNumber = 4520;
} // namespace

class TestMessages : public QObject
{
    Q_OBJECT
private:
    NetTestFolder *folder = nullptr;
    TestGame game;
    Race &race = game.race;   // the race the windows start and follow
    MainWindow *main = nullptr;
    MessengerParameters parameters;   // as main keeps them, for the transport
    GameTransport *internet = nullptr;
    AgentStage *stage = nullptr;
    RequestWindow *request = nullptr;
    InviteList invites;
    PlayRequests playRequests{race, game.session, game.settings, game.roster, game.dialogs, invites, game.dispatcher};
    Peer *a = nullptr;
    Peer *b = nullptr;
    QStringList boxes;
    QStringList questions;
    QStringList spoken;
    bool answerYes = true;
    std::function<void()> whileAsking;

    void mode(int playMode)
    {
        main->PlayModeGroup->setItemIndex(playMode);
        race.playModeChosen(PlayMode(playMode));   // the same mode again starts over too
    }
    void addRemote(const QString &name, const QString &uin, const QString &character, const QString &address)
    {
        const std::optional<int> slot = game.roster.add(name, uin, character);
        QVERIFY(slot);
        game.model.contestants[*slot].Address = address;
    }
    QList<QByteArray> sentTo(Peer *peer, int count)
    {
        return peer->texts(peer->receive(count, 5000));
    }
    // This copy joins the host at address: the request goes there and the host accepts.
    // Lets every sequence started meanwhile (a handler's resends, a start) run to its end.
    void settle()
    {
        QTRY_COMPARE_WITH_TIMEOUT(PendingWaits(), 0, 60000);
    }
    void acceptedBy(const QString &address)
    {
        mode(JoinGame);
        request->UinEdit->setText(address);
        request->CharacterEdit->setText(QStringLiteral("Pip.acs"));
        QVERIFY(request->RequestBtnClick());
        game.dispatcher.dispatch(address, QStringLiteral("RAHosty"));
        settle();   // the readiness "RR" and its repeat
        QCOMPARE(game.session.hostAddress(), address);
        boxes.clear();
        a->drain(100);
        b->drain(100);
    }

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void rosterTravelsToTheJoiner();
    void rosterGuards();
    void positions();
    void answersAndSkipsAreCountedOnce();
    void onlyTheHostSteers();
    void leavingForgetsTheGame();
    void questionFromTheHost();
    void acknowledgementsAndReadiness();
    void cancelAndDescription();
    void invitationPing();
    void malformedMessagesChangeNothing();
    void groupSendsResendToTheSilent();
    void requestRefusalsInOrder();
    void requestDuringTheRaceStart();
    void acceptedRequest();
    void stateChangedWhileTheQuestionWasOpen();
    void joinerAnswers();
    void floodsOpenBoundedBoxes();
    void requestDialog();
    void invitePlayers();
    void aNewQuestionIsTakenWhileTheLastReportIsResent();
    void leavingAHostedRaceTellsTheJoiners_data();
    void leavingAHostedRaceTellsTheJoiners();
    void exitDuringTheIntroductionsTellsTheJoiners();   // the last: the program ends

private:
    // Hosts a Simple Math race with Jo on PeerA; returns once the race is introduced
    // (the track open) or, with inRounds, once its first question went to Jo.
    void hostRaceUntil(bool inRounds);
    // Everything PeerA gets from now until the race is over and the joiners' second
    // cancel is due.
    QList<QByteArray> sentUntilTheRaceIsOver();
};

void TestMessages::initTestCase()
{
    FollowPlaySettings(race, game.settings);   // the race's rules follow the settings
    folder = new NetTestFolder(GamePortNumber, MessengerPortNumber, {"Pip.acs", "Bolt.acs", "Penny.acs", "Zed.acs"});
    QByteArray phrases;
    for (int i = 0; i < 6; ++i)
        phrases += "Gt" + QByteArray::number(i) + " type" + QByteArray::number(i) + "\r\n";
    for (int i = 0; i < 3; ++i)
        phrases += "dl" + QByteArray::number(i) + " level" + QByteArray::number(i) + "\r\n";
    for (int i = 0; i < 6; ++i)
        phrases += "rx" + QByteArray::number(i) + " reason" + QByteArray::number(i) + "\r\n";
    phrases += "rc1 CANCELLED\r\nIV1 invites you\r\nIV2 Today:\r\n";
    QVERIFY(folder->writeFile("stdtalk.lst", phrases));
    QVERIFY(folder->writeFile("stdtalk.bak", phrases));
    qputenv("HOLLYFROST_BIND_ADDRESS", "127.0.0.41");
    Records::Options.UserName = QStringLiteral("Hosty");
    Records::Options.DisplayName = QStringLiteral("Hosty");
    Records::Options.UserUin = 50005;
    Records::Options.UserCharacterFile = folder->characters() + QStringLiteral("Pip.acs");
    SetMessageBoxAnswerer([this](BoxKind, const QString &text) { boxes << text; });
    game.dialogs.use(&screenDialogs);
    stage = new AgentStage(game.screen);
    game.stage.use(stage);
    SetQuestionAnswerer([this](const QString &text) {
        questions << text;
        if (whileAsking)
            whileAsking();
        return answerYes;
    });
    stage->setSpeechObserver([this](const QString &identity, const QString &text) {
        if (identity == QLatin1String("Announcer"))
            spoken << text;
    });
    const auto browsed = [](const QString &, const QString &) { return QStringLiteral("C:\\x\\Bolt.acs"); };
    main = new MainWindow(race, playRequests, CharacterFilePicker(browsed));
    InstallMessageHandlers(race, playRequests);
    QVERIFY(QFile::copy(qEnvironmentVariable("HF_BIN_DIR") + "/Announcer.acs", folder->program() + "Announcer.acs"));
    QVERIFY(stage->load(0, ProgramFolder() + QStringLiteral("Announcer.acs"), false, false, QStringLiteral("Announcer")));
    internet = new GameTransport(game.receiver(), parameters);
    game.transport.use(internet);
    internet->StartListening();
    request = &main->requestWindow();
    QVERIFY(internet->Listening());
    a = new Peer(PeerA, GamePortNumber);
    b = new Peer(PeerB, GamePortNumber);
    QVERIFY(a->bound() && b->bound());
}

void TestMessages::init()
{
    boxes.clear();
    questions.clear();
    spoken.clear();
    answerYes = true;
    whileAsking = nullptr;
    game.session.setRaceRunning(false);
    game.session.setJoinedRace(false);
    game.model.shutdownCountdown = 0;
    for (ContestantRecord &record : game.model.contestants)
        record.Acked = false;
    main->GameType->setItemIndex(-1);
    game.roster.reset();   // first: the last test's joiners are told nothing
    mode(NoPlayMode);   // forgets the last network game
    a->drain(0);
    b->drain(0);
}

void TestMessages::cleanupTestCase()
{
    game.stage.use(nullptr);
    SetQuestionAnswerer({});
    SetMessageBoxAnswerer({});
    delete a;
    delete b;
    delete internet;
    delete stage;
    delete main;
    delete folder;
}

void TestMessages::rosterTravelsToTheJoiner()
{
    // The host's roster of two: four empty slots travel as spaces.
    mode(HostGame);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    const QString payload = game.dispatcher.rosterPayload();
    QCOMPARE(payload, QStringLiteral("&&50005&&Hosty&&Pip.acs&&60006&&Jo&&Bolt.acs") + QStringLiteral("&& && && ").repeated(4));
    QCOMPARE(payload.count(QStringLiteral("&&")), 18);

    // The joiner takes the two real contestants and acknowledges.
    acceptedBy(PeerA);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RSHosty") + payload);
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    QCOMPARE(main->Contestants->model()->index(0, 0).data().toString(), QStringLiteral("50005\tHosty\tPip.acs"));
    QCOMPARE(main->Contestants->model()->index(1, 0).data().toString(), QStringLiteral("60006\tJo\tBolt.acs"));
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"AKHosty"});
    // A roster without its eighteen fields is malformed: dropped, not acknowledged.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RSHosty&&50005&&Hosty&&Pip.acs&&60006&&Jo"));
    game.dispatcher.dispatch(PeerA, QStringLiteral("RSHosty") + payload + QStringLiteral("&&1&&X&&Zed.acs"));
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    QCOMPARE(game.model.contestants[1].Uin, QStringLiteral("60006"));
    QVERIFY(a->drain().isEmpty());
    // A path in a character name is not followed.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RSHosty&&50005&&Hosty&&..\\..\\Zed.acs") + QStringLiteral("&& && && ").repeated(5));
    QCOMPARE(game.model.contestants[0].CharacterFile, QStringLiteral("Zed.acs"));
    // A character this copy lacks is raced by one it has.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RSHosty&&50005&&Hosty&&Gone.acs") + QStringLiteral("&& && && ").repeated(5));
    QCOMPARE(game.model.contestants[0].Uin, QStringLiteral("50005"));
    QVERIFY(game.model.contestants[0].CharacterFile != QStringLiteral("Gone.acs"));
    QVERIFY(QFile::exists(folder->characters() + game.model.contestants[0].CharacterFile));
}

void TestMessages::rosterGuards()
{
    acceptedBy(PeerA);
    const QString roster = QStringLiteral("RSH&&50005&&Hosty&&Pip.acs&&60006&&Jo&&Bolt.acs") + QStringLiteral("&& && && ").repeated(4);
    // While a race runs: neither taken nor acknowledged.
    game.session.setRaceRunning(true);
    game.dispatcher.dispatch(PeerA, roster);
    QCOMPARE(main->Contestants->model()->rowCount(), 0);
    game.session.setRaceRunning(false);
    QVERIFY(a->drain().isEmpty());
    game.dispatcher.dispatch(PeerA, roster);
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    QCOMPARE(sentTo(a, 1).size(), 1);
    // The same roster again: not acknowledged again.
    game.dispatcher.dispatch(PeerA, roster);
    QVERIFY(a->drain().isEmpty());
    // While the joiner's race is presented, a new roster is acknowledged but not taken;
    // after it (its clean-up leaves no play mode picked) the host steers this copy no
    // more: neither taken nor acknowledged.
    game.session.setJoinedRace(true);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RSH&&80008&&Newer&&Zed.acs") + QStringLiteral("&& && && ").repeated(5));
    QCOMPARE(sentTo(a, 1).size(), 1);
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    main->PlayModeGroup->setItemIndex(NoPlayMode);
    QCOMPARE(game.settings.playMode(), NoPlayMode);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RSH&&70007&&New&&Zed.acs") + QStringLiteral("&& && && ").repeated(5));
    QVERIFY(a->drain().isEmpty());
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    // Joined again: the host's start signal does not start a race while one runs.
    acceptedBy(PeerA);
    game.dispatcher.dispatch(PeerA, roster);
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    QCOMPARE(sentTo(a, 1).size(), 1);
    game.session.setRaceRunning(true);
    game.dispatcher.dispatch(PeerA, QStringLiteral("SRH"));
    game.session.setRaceRunning(false);
    QVERIFY(!game.session.joinedRace());
    QVERIFY(a->drain().isEmpty());
    // A flood of start signals is acknowledged, and waits as one start, not one each;
    // the host's cancel right after it leaves no race behind.
    for (int n = 0; n < 10000; ++n) {
        game.dispatcher.dispatch(PeerA, QStringLiteral("SRH"));
        QVERIFY(PendingWaits() <= 1);
    }
    game.dispatcher.dispatch(PeerA, QStringLiteral("RCH"));
    settle();
    QVERIFY(!race.inProgress());
    QVERIFY(!game.session.joinedRace());
    game.model.shutdownCountdown = 0;
    a->drain();
}

void TestMessages::positions()
{
    const QString roster = QStringLiteral("RSH&&1001&&A&&Pip.acs&&1002&&B&&Bolt.acs&&1003&&C&&Penny.acs")
                           + QStringLiteral("&& && && ").repeated(3);
    acceptedBy(PeerA);
    game.dispatcher.dispatch(PeerA, roster);
    QCOMPARE(main->Contestants->model()->rowCount(), 3);
    a->drain();
    // Before this joiner's race: every start signal was lost, so the host's positions
    // start the race (abandoned here once it has begun). The last race's countdown to
    // the end of the program stops: it would unload this race's characters.
    bool raceStarted = false;
    game.model.shutdownCountdown = 40;
    QTimer::singleShot(400, this, [&] {
        raceStarted = race.inProgress() && game.session.joinedRace() && game.model.shutdownCountdown == 0;
        mode(NoPlayMode);
    });
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&10&&20&&30&&0&&0&&0"));
    settle();
    QVERIFY(raceStarted);
    QCOMPARE(game.model.contestants[1].Progress, 0);
    // After it: ignored.
    mode(JoinGame);
    acceptedBy(PeerA);
    game.dispatcher.dispatch(PeerA, roster);
    game.session.setJoinedRace(true);
    a->drain();
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&10&&20&&30&&0&&0&&0"));
    QCOMPARE(game.model.contestants[1].Progress, 0);
    QVERIFY(a->drain().isEmpty());
    game.session.setRaceRunning(true);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&10&&20&&30&&0&&0&&0"));
    QCOMPARE((QList<int>{game.model.contestants[0].Progress, game.model.contestants[1].Progress, game.model.contestants[2].Progress}),
             (QList<int>{10, 20, 30}));
    QCOMPARE(game.session.raceRun().standings.first, 2);
    QCOMPARE(sentTo(a, 1).size(), 1);
    // The same values again: neither acknowledged nor taken.
    game.model.contestants[0].Progress = 99;
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&10&&20&&30&&0&&0&&0"));
    QCOMPARE(game.model.contestants[0].Progress, 99);
    QVERIFY(a->drain().isEmpty());
    // Numbered sets: one older than the last taken (reordered on the way, or replayed)
    // is dropped, as is one absurdly far ahead, the first of the race too.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&40&&50&&60&&0&&0&&0&&2000000000"));
    QCOMPARE(game.model.contestants[2].Progress, 30);
    QVERIFY(a->drain().isEmpty());
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&40&&50&&60&&0&&0&&0&&7"));
    QCOMPARE(game.model.contestants[2].Progress, 60);
    QCOMPARE(sentTo(a, 1).size(), 1);
    for (const char *stale : {"RPH&&30&&40&&50&&0&&0&&0&&6", "RPH&&30&&40&&50&&0&&0&&0&&7",
                              "RPH&&30&&40&&50&&0&&0&&0&&99999"}) {
        game.dispatcher.dispatch(PeerA, QLatin1String(stale));
        QCOMPARE(game.model.contestants[2].Progress, 60);
    }
    QVERIFY(a->drain().isEmpty());
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&41&&51&&61&&0&&0&&0&&9"));
    QCOMPARE(game.model.contestants[2].Progress, 61);
    a->drain();
    // Fewer fields than contestants: the last one repeats; a non-number counts as 0.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&x1&&44"));
    QCOMPARE((QList<int>{game.model.contestants[0].Progress, game.model.contestants[1].Progress, game.model.contestants[2].Progress}),
             (QList<int>{0, 44, 44}));
    // Values no race can reach are cut, so that moving the characters cannot overflow.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RPH&&2000000000&&-5&&2147483647"));
    QCOMPARE((QList<int>{game.model.contestants[0].Progress, game.model.contestants[1].Progress, game.model.contestants[2].Progress}),
             (QList<int>{MaxTakenProgress, 0, MaxTakenProgress}));
    game.session.setRaceRunning(false);
}

void TestMessages::answersAndSkipsAreCountedOnce()
{
    // Each report counts once per question put to that contestant: Confirmed 2 marks a
    // question outstanding, QuestionNumber - 1 is its number, the report's trailing field.
    mode(HostGame);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    addRemote("Al", "70007", "Penny.acs", PeerB);
    auto putQuestion = [this](int slot) {
        game.model.contestants[slot].Confirmed = SlotQuestionOutstanding;
        ++game.model.contestants[slot].QuestionNumber;
    };
    putQuestion(1);   // Jo's question 1
    putQuestion(2);   // Al's question 1
    game.dispatcher.dispatch(PeerA, QStringLiteral("RBJo&&60006&&42&&1"));
    game.dispatcher.dispatch(PeerB, QStringLiteral("RBAl&&70007&&42&&1"));
    // Jo's acknowledgement was lost: the resend comes after Al's report; acknowledged only.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RBJo&&60006&&42&&1"));
    QCOMPARE(game.model.contestants[1].Score, 1);
    QCOMPARE(game.model.contestants[2].Score, 1);
    QCOMPARE(game.model.contestants[1].Confirmed, quint8(1));
    QCOMPARE(sentTo(a, 2), (QList<QByteArray>{"AKHosty", "AKHosty"}));
    // A skip of the question already answered is a repeat too.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RKJo&&60006&&42&&1"));
    QCOMPARE(game.model.contestants[1].Score, 1);
    // The next question has the same answer (a dexterity test always has): it counts,
    // and a late resend for question 1 does not count for question 2.
    putQuestion(1);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RBJo&&60006&&42&&1"));
    QCOMPARE(game.model.contestants[1].Score, 1);
    QCOMPARE(game.model.contestants[1].Confirmed, quint8(2));
    game.dispatcher.dispatch(PeerA, QStringLiteral("RBJo&&60006&&42&&2"));
    QCOMPARE(game.model.contestants[1].Score, 2);
    // A skip halves, dropping the fraction, and puts the character back to the start;
    // its resend after Al's skip halves nothing more.
    game.model.contestants[1].Score = 7;
    game.model.contestants[1].Progress = 7;
    game.model.contestants[1].LastX = 300;
    putQuestion(1);
    game.model.contestants[2].Score = 6;
    putQuestion(2);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RKJo&&60006&&17&&3"));
    game.dispatcher.dispatch(PeerB, QStringLiteral("RKAl&&70007&&17&&2"));
    game.dispatcher.dispatch(PeerA, QStringLiteral("RKJo&&60006&&17&&3"));
    QCOMPARE(game.model.contestants[1].Score, 3);
    QCOMPARE(game.model.contestants[1].Progress, 3);
    QCOMPARE(game.model.contestants[1].LastX, 0);
    QCOMPARE(game.model.contestants[2].Score, 3);
    // From a copy that sends no number: once per question outstanding, the same answer
    // to the next question included.
    putQuestion(2);
    game.dispatcher.dispatch(PeerB, QStringLiteral("RBAl&&70007&&dexteritytest"));
    game.dispatcher.dispatch(PeerB, QStringLiteral("RBAl&&70007&&dexteritytest"));
    QCOMPARE(game.model.contestants[2].Score, 4);
    putQuestion(2);
    game.dispatcher.dispatch(PeerB, QStringLiteral("RBAl&&70007&&dexteritytest"));
    QCOMPARE(game.model.contestants[2].Score, 5);
    // A number that is no question's counts nothing.
    putQuestion(2);
    game.dispatcher.dispatch(PeerB, QStringLiteral("RBAl&&70007&&9&&x"));
    QCOMPARE(game.model.contestants[2].Score, 5);
    QCOMPARE(game.model.contestants[2].Confirmed, quint8(2));
    // From the finish on the standings are final: Al's answer to the question still out
    // comes during the ceremony and counts for nothing, on every scoreboard.
    game.session.setRaceRunning(true);
    game.session.raceRun().standings.finisher = 1;
    game.model.contestants[1].Progress = 92;   // over the finish
    const QString lateAnswer = QStringLiteral("RBAl&&70007&&9&&%1").arg(game.model.contestants[2].QuestionNumber - 1);
    QTimer::singleShot(10, this, [this, &lateAnswer] { game.dispatcher.dispatch(PeerB, lateAnswer); });
    QCoro::waitFor(race.finish());
    QCOMPARE(game.model.contestants[2].Score, 5);
    QCOMPARE(game.session.raceRun().standings.first, 1);
}

void TestMessages::onlyTheHostSteers()
{
    QuestionWindow form(race.questions(), game.screen);
    const QStringList hostMessages = {"SRH", "RPH&&50&&50", "RSH&&1&&X&&Zed.acs" + QStringLiteral("&& && && ").repeated(5),
                                      "RZH&&MA&&12&&7 + 5&&1", "RTH&&taken over", "RCH"};
    auto noneTakenFrom = [&](const QString &address, Peer *peer) {
        main->InfoBox->setPlainText(QStringLiteral("mine"));
        const int count = main->Contestants->model()->rowCount();
        for (const QString &text : hostMessages)
            game.dispatcher.dispatch(address, text);
        QVERIFY(peer->drain().isEmpty());   // not even acknowledged
        QCOMPARE(game.model.shutdownCountdown, 0);
        QVERIFY(spoken.isEmpty());
        QVERIFY(!form.isVisible());
        QVERIFY(!game.session.joinedRace());
        QCOMPARE(main->Contestants->model()->rowCount(), count);
        QCOMPARE(main->InfoBox->toPlainText(), QStringLiteral("mine"));
    };
    // Not joined to any host: Practice, Local Race, hosting, or not yet accepted.
    for (const int playMode : {int(PracticeGame), int(LocalRace), int(HostGame), int(JoinGame)}) {
        mode(playMode);
        game.session.setRaceRunning(playMode == PracticeGame);
        game.session.setJoinedRace(false);
        noneTakenFrom(PeerA, a);
        if (QTest::currentTestFailed())
            return;
    }
    // Joined: another address is not the host, nor does its "RA" make it one.
    game.session.setRaceRunning(false);
    acceptedBy(PeerA);
    game.dispatcher.dispatch(PeerB, QStringLiteral("RAHosty"));
    QCOMPARE(game.session.hostAddress(), PeerA);
    QVERIFY(boxes.isEmpty());
    noneTakenFrom(PeerB, b);
    if (QTest::currentTestFailed())
        return;
    game.dispatcher.dispatch(PeerA, QStringLiteral("RTH&&the host"));
    QCOMPARE(main->InfoBox->toPlainText(), QStringLiteral("the host"));
    // A host takes readiness and reports from its roster only.
    mode(HostGame);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    game.model.contestants[1].Confirmed = SlotQuestionOutstanding;
    game.model.contestants[1].QuestionNumber = 2;
    for (const char *text : {"RRAl", "RBAl&&60006&&42&&1", "RKAl&&60006&&42&&1"})
        game.dispatcher.dispatch(PeerB, QString::fromLatin1(text));
    QVERIFY(b->drain().isEmpty());
    QCOMPARE(game.model.contestants[1].Score, 0);
    QCOMPARE(game.model.contestants[1].Confirmed, quint8(2));
    // The open messages stay open.
    game.dispatcher.dispatch(PeerB, QStringLiteral("GPAl&&70007&&Al"));
    QCOMPARE(game.session.inviterUin(), QStringLiteral("70007"));
    game.dispatcher.dispatch(PeerB, QStringLiteral("RQAl&&70007&&Penny.acs"));
    QCOMPARE(questions.size(), 1);
    QCOMPARE(sentTo(b, 1).value(0), QByteArray("RAHosty"));
    b->drain();
}

void TestMessages::leavingForgetsTheGame()
{
    // Accepted, given the roster, raced; then Practice and Join a Game again.
    const QString roster = QStringLiteral("RSH&&50005&&Hosty&&Pip.acs&&60006&&Jo&&Bolt.acs")
                           + QStringLiteral("&& && && ").repeated(4);
    acceptedBy(PeerA);
    game.dispatcher.dispatch(PeerA, roster);
    QCOMPARE(sentTo(a, 1).size(), 1);
    game.session.setJoinedRace(true);
    mode(PracticeGame);
    mode(JoinGame);
    QVERIFY(game.session.hostAddress().isEmpty());
    QVERIFY(game.session.requestedHostAddress().isEmpty());
    QVERIFY(game.model.lastRosterPayload.isEmpty());
    QVERIFY(!game.session.joinedRace());
    // Accepted again: the host's identical roster is taken and acknowledged.
    acceptedBy(PeerA);
    game.dispatcher.dispatch(PeerA, roster);
    QCOMPARE(sentTo(a, 1).size(), 1);
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    // Accepted, but no roster arrived: the start signal starts no race with nobody in it.
    mode(PracticeGame);
    acceptedBy(PeerA);
    QCOMPARE(main->Contestants->model()->rowCount(), 0);
    bool raceStarted = false;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [&] {
        raceStarted = race.inProgress();
        if (raceStarted)
            mode(NoPlayMode);   // it would never end: abandon it
    });
    guard.start(100);
    game.dispatcher.dispatch(PeerA, QStringLiteral("SRHosty"));
    QTest::qWait(200);
    QVERIFY(!raceStarted);
    QVERIFY(!game.session.joinedRace());
    a->drain();
    // With a roster, the host cancels between its start's acknowledgements, or while the
    // race is being presented: the race runs no rounds and ends, instead of starting after
    // the cancel and running for ever.
    for (const int cancelAfterMs : {20, 400}) {
        mode(JoinGame);
        acceptedBy(PeerA);
        game.dispatcher.dispatch(PeerA, roster);
        QTimer cancel;
        cancel.setSingleShot(true);
        connect(&cancel, &QTimer::timeout, this, [&] { game.dispatcher.dispatch(PeerA, QStringLiteral("RCHosty")); });
        bool stillRacing = false;
        guard.disconnect();
        connect(&guard, &QTimer::timeout, this, [&] {
            stillRacing = race.inProgress();
            if (stillRacing)
                mode(NoPlayMode);   // it would never end: abandon it
        });
        cancel.start(cancelAfterMs);
        guard.start(20000);
        game.dispatcher.dispatch(PeerA, QStringLiteral("SRHosty"));
        settle();
        guard.stop();
        QVERIFY2(!stillRacing, qPrintable(QString::number(cancelAfterMs)));
        QVERIFY(!game.session.raceRunning());
        QVERIFY(game.model.shutdownCountdown > 0);
        game.model.shutdownCountdown = 0;
        a->drain();
    }
}

void TestMessages::questionFromTheHost()
{
    acceptedBy(PeerA);
    game.session.setJoinedRace(true);   // questions come in the race the host started
    QuestionWindow form(race.questions(), game.screen);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RZHosty&&MA&&12&&7 + 5&&1"));
    QCOMPARE(sentTo(a, 1), (QList<QByteArray>{"AKHosty"}));
    QVERIFY(form.isVisible());
    QVERIFY(form.Question->text().contains(QStringLiteral("7 + 5")));
    QCOMPARE(race.questions().answer(), QStringLiteral("12"));
    QCOMPARE(race.questions().sender(), PeerA);
    // A resend of the same question is acknowledged again but not shown anew.
    form.Answer->setText(QStringLiteral("1"));
    game.dispatcher.dispatch(PeerA, QStringLiteral("RZHosty&&MA&&12&&7 + 5&&1"));
    QCOMPARE(sentTo(a, 1), (QList<QByteArray>{"AKHosty"}));
    QCOMPARE(form.Answer->text(), QStringLiteral("1"));
    form.hide();
    // The host cancels; a late resend of the next question shows nothing.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RCHosty"));
    QCOMPARE(game.model.shutdownCountdown, 25);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RZHosty&&MA&&9&&4 + 5&&2"));
    QVERIFY(!form.isVisible());
    QCOMPARE(race.questions().answer(), QStringLiteral("12"));
    QVERIFY(a->drain().isEmpty());
}

void TestMessages::acknowledgementsAndReadiness()
{
    mode(HostGame);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    addRemote("Al", "70007", "Penny.acs", PeerB);
    {
        // A wait ends only on an acknowledgement from the address it waits on.
        const AckWait fromA(game.transport, PeerA), fromB(game.transport, PeerB);
        game.dispatcher.dispatch(PeerA, QStringLiteral("AKJo"));
        QVERIFY(fromA.arrived());
        QVERIFY(!fromB.arrived());
    }
    QVERIFY(game.model.contestants[1].Acked);
    QVERIFY(!game.model.contestants[2].Acked);
    // The host's own slot has no address: nothing, not even an empty address, marks it.
    game.dispatcher.dispatch(QString(), QStringLiteral("AKJo"));
    QVERIFY(!game.model.contestants[0].Acked);
    QVERIFY(!game.model.contestants[2].Acked);
    game.dispatcher.dispatch(PeerB, QStringLiteral("RRAl"));
    QCOMPARE(game.model.contestants[2].Confirmed, quint8(1));
    QCOMPARE(game.model.contestants[1].Confirmed, quint8(0));
    // Readiness does not free a slot whose question is still outstanding.
    game.model.contestants[2].Confirmed = SlotQuestionOutstanding;
    game.dispatcher.dispatch(PeerB, QStringLiteral("RRAl"));
    QCOMPARE(game.model.contestants[2].Confirmed, quint8(2));
}

void TestMessages::cancelAndDescription()
{
    acceptedBy(PeerA);
    game.session.setRaceRunning(true);
    main->CancelBtn->show();
    game.dispatcher.dispatch(PeerA, QStringLiteral("RCHosty"));
    QVERIFY(!game.session.raceRunning());
    QVERIFY(main->CancelBtn->isHidden());
    QCOMPARE(game.model.shutdownCountdown, 25);
    QCOMPARE(spoken, QStringList{"CANCELLED"});
    // Also without a race (the cancel ended the joining: join again first).
    acceptedBy(PeerA);
    game.model.shutdownCountdown = 0;
    game.dispatcher.dispatch(PeerA, QStringLiteral("RCHosty"));
    QCOMPARE(game.model.shutdownCountdown, 25);

    acceptedBy(PeerA);
    main->InfoBox->setPlainText("old");
    game.dispatcher.dispatch(PeerA, QStringLiteral("RTHosty&&Host: Hosty 50005\r\ntype3\r\nlevel1"));
    QCOMPARE(main->InfoBox->toPlainText(), QStringLiteral("Host: Hosty 50005\ntype3\nlevel1"));
    // Plain text: markup and entities show as they are; nothing is loaded.
    const QString markup = QStringLiteral("Welcome <img src=\"missing.png\" width=\"900\"> <b>bold</b> &lt;\rsecond\nthird");
    game.dispatcher.dispatch(PeerA, QStringLiteral("RTHosty&&") + markup);
    QCOMPARE(main->InfoBox->toPlainText(),
             QStringLiteral("Welcome <img src=\"missing.png\" width=\"900\"> <b>bold</b> &lt;\nsecond\nthird"));
    game.session.setRaceRunning(true);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RTHosty&&during the race"));
    QCOMPARE(main->InfoBox->toPlainText(), QString());
    game.session.setRaceRunning(false);
}

void TestMessages::invitationPing()
{
    game.dispatcher.dispatch(PeerA, QStringLiteral("GPHosty&&1234567890123456789&&") + QString(50, u'n'));
    QCOMPARE(game.session.inviterUin(), QStringLiteral("123456789012345"));
    QCOMPARE(game.session.inviterName(), QString(40, u'n'));
    // The messenger-port form carries the UIN alone.
    game.dispatcher.dispatch(PeerA, QStringLiteral("GPHosty&&777"));
    QCOMPARE(game.session.inviterUin(), QStringLiteral("777"));
    QCOMPARE(game.session.inviterName(), QString());
    game.session.setRaceRunning(true);
    game.dispatcher.dispatch(PeerA, QStringLiteral("GPHosty&&888&&Late"));
    QCOMPARE(game.session.inviterUin(), QStringLiteral("777"));
    game.session.setRaceRunning(false);
}

void TestMessages::malformedMessagesChangeNothing()
{
    acceptedBy(PeerA);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RSH&&1001&&A&&Pip.acs&&1002&&B&&Bolt.acs") + QStringLiteral("&& && && ").repeated(4));
    a->drain();
    // Rosters without their eighteen fields, while no race runs (a race would drop any).
    for (const QString &text : {QStringLiteral("RS&&99999&&X&&Y.acs"), QStringLiteral("RS"),
                                QString::fromLatin1("RS\0\0&&\0", 6), QStringLiteral("RSH") + QStringLiteral("&&").repeated(30)})
        game.dispatcher.dispatch(PeerA, text);
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    QVERIFY(a->drain().isEmpty());
    game.session.setRaceRunning(true);
    const QStringList garbage = {QString(), QStringLiteral("R"), QStringLiteral("RP"), QStringLiteral("RB"),
                                 QStringLiteral("ZZ&&1&&2"), QString::fromLatin1("RP\0\0&&\0", 7),
                                 QStringLiteral("RP&&&&&&&&&&&&&&"), QStringLiteral("rp&&50&&50"),
                                 QStringLiteral("MEsomeone&&\r\n$$UIN1"), QStringLiteral("RZ")};
    for (const QString &text : garbage)
        game.dispatcher.dispatch(PeerA, text);
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    QVERIFY(game.model.contestants[0].Progress == 0 && game.model.contestants[1].Progress == 0);
    QVERIFY(boxes.isEmpty());
    game.session.setRaceRunning(false);
}

void TestMessages::groupSendsResendToTheSilent()
{
    mode(HostGame);
    main->GameType->setItemIndex(1);
    main->Difficulty->setItemIndex(0);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    addRemote("Al", "70007", "Penny.acs", PeerB);
    a->answer("RS", "AKJo", GamePortNumber);   // Jo answers at once, Al never
    QCoro::waitFor(game.dispatcher.sendRoster());
    QTest::qWait(100);
    QCOMPARE(a->drain().size(), 1);
    QCOMPARE(b->drain().size(), 3);
    a->answer("", "", 0);
    QCoro::waitFor(game.dispatcher.sendPositions());
    // Each set of positions carries a number one higher than the last; its resends repeat it.
    const QList<QByteArray> positions = sentTo(b, 2);
    QCOMPARE(positions.size(), 2);
    QVERIFY(positions[0].startsWith("RPHosty&&0&&0&&0&&0&&0&&0&&"));
    QCOMPARE(positions[1], positions[0]);
    const int number = positions[0].mid(positions[0].lastIndexOf("&&") + 2).toInt();
    // The positions at the finish make every scoreboard: sent, then resent eight times
    // to everybody, the acknowledged included (an acknowledgement may be a late one).
    a->answer("RP", "AKJo", GamePortNumber);
    game.dispatcher.sendFinalPositions();
    const QList<QByteArray> final(9, "RPHosty&&0&&0&&0&&0&&0&&0&&" + QByteArray::number(number + 1));
    QCOMPARE(sentTo(b, 9), final);
    QCOMPARE(sentTo(a, 11).mid(2), final);
    a->answer("", "", 0);
    game.dispatcher.sendCancel();
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"RCHosty"});
    // Each change of the settings goes to every remote contestant.
    a->drain();
    b->drain();
    main->GameType->setItemIndex(3);
    main->Difficulty->setItemIndex(2);
    const QList<QByteArray> settings = {"RTHosty&&Host: Hosty 50005\r\ntype3\r\nlevel0",
                                        "RTHosty&&Host: Hosty 50005\r\ntype3\r\nlevel2"};
    QCOMPARE(sentTo(b, 2), settings);
    QCOMPARE(sentTo(a, 2), settings);
    QVERIFY(b->drain().isEmpty());
}

void TestMessages::requestRefusalsInOrder()
{
    auto refusal = [&](const QString &character, const QString &uin) {
        a->drain(0);
        game.dispatcher.dispatch(PeerA, QStringLiteral("RQJo&&") + uin + QStringLiteral("&&") + character);
        return sentTo(a, 1);
    };
    mode(PracticeGame);
    QCOMPARE(refusal("Bolt.acs", "60006"), QList<QByteArray>{"RDHosty&&rx3"});
    mode(HostGame);
    game.session.setJoinedRace(true);
    QCOMPARE(refusal("Bolt.acs", "60006"), QList<QByteArray>{"RDHosty&&rx4"});
    game.session.setJoinedRace(false);
    QCOMPARE(refusal("Pip.acs", "60006"), QList<QByteArray>{"RDHosty&&rx2"});
    QCOMPARE(refusal("Bolt.acs", "50005"), QList<QByteArray>{"RDHosty&&rx5"});
    answerYes = false;
    QCOMPARE(refusal("Bolt.acs", "60006"), QList<QByteArray>{"RDHosty&&rx0"});
    QCOMPARE(questions, QStringList{"We Received a Play Request from:\rJo  UIN:60006\r\rAccept?"});
    for (int i = 0; i < 5; ++i)
        game.roster.add("X", QString::number(1000 + i), "Zed.acs");
    QCOMPARE(refusal("Bolt.acs", "60006"), QList<QByteArray>{"RDHosty&&rx1"});   // full: not asked
    QCOMPARE(questions.size(), 1);
    // Malformed requests are dropped: no question, no answer, in any play mode.
    mode(HostGame);
    for (const QString &text : {QStringLiteral("RQ"), QStringLiteral("RQJo"), QString::fromLatin1("RQ\0&&\0\0&&\0", 9),
                                QStringLiteral("RQJo&&&&Bolt.acs"), QStringLiteral("RQJo&&6000x&&Bolt.acs"),
                                QStringLiteral("RQJo&&-6000&&Bolt.acs"), QStringLiteral("RQJo&&1234567890123456&&Bolt.acs"),
                                QStringLiteral("RQJo&&60006"), QStringLiteral("RQJo&&60006&&"), QStringLiteral("RQJo&&60006&& "),
                                QString::fromLatin1("RQJo&&60006&&\0\0", 15)})
        game.dispatcher.dispatch(PeerA, text);
    QCOMPARE(questions.size(), 1);
    QVERIFY(a->drain().isEmpty());
    QCOMPARE(main->Contestants->model()->rowCount(), 1);
}

void TestMessages::requestDuringTheRaceStart()
{
    // "Start Game" was pressed: while the roster and the start signal go out, the
    // characters are presented and the countdown runs, "race running" is still false.
    // A request then is refused as during the race, without asking.
    mode(HostGame);
    main->GameType->setItemIndex(0);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);   // never acknowledges: the sends wait
    QList<QByteArray> answer;
    bool running = true;
    QTimer::singleShot(50, this, [&] {
        running = game.session.raceRunning();
        game.dispatcher.dispatch(PeerB, QStringLiteral("RQAl&&70007&&Penny.acs"));
        answer = b->texts(b->receive(1, 5000));
        mode(NoPlayMode);   // ends the start here
    });
    race.start();
    settle();
    QVERIFY(!running);
    QCOMPARE(answer, QList<QByteArray>{"RDHosty&&rx4"});
    QVERIFY(questions.isEmpty());
    a->drain();
    b->drain();
}

void TestMessages::acceptedRequest()
{
    mode(HostGame);
    main->GameType->setItemIndex(2);
    main->Difficulty->setItemIndex(0);
    a->answer("RS", "AKJo", GamePortNumber);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RQ\\map=\"Joe\"=\"Jo\"\\&&60006&&Bolt.acs"));
    settle();
    QCOMPARE(main->Contestants->model()->rowCount(), 2);
    QCOMPARE(main->Contestants->model()->index(1, 0).data().toString(), QStringLiteral("60006\tJo\tBolt.acs"));
    QCOMPARE(game.model.contestants[1].Address, PeerA);
    const QList<QByteArray> sent = sentTo(a, 3);
    QCOMPARE(sent.size(), 3);
    QCOMPARE(sent[0], QByteArray("RAHosty"));
    QCOMPARE(sent[1], QByteArray("RTHosty&&type2level0"));
    QVERIFY(sent[2].startsWith("RSHosty&&50005&&Hosty&&Pip.acs&&60006&&Jo&&Bolt.acs&& && && "));
    a->answer("", "", 0);
}

void TestMessages::stateChangedWhileTheQuestionWasOpen()
{
    // Another request filled the roster while the question was open: the host's own slot
    // keeps its place and the requester is refused.
    mode(HostGame);
    whileAsking = [&] {
        for (int i = 0; i < 5; ++i)
            game.roster.add("X", QString::number(1000 + i), "Zed.acs");
    };
    game.dispatcher.dispatch(PeerA, QStringLiteral("RQJo&&60006&&Bolt.acs"));
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"RDHosty&&rx1"});
    QVERIFY(game.model.contestants[0].Address.isEmpty());
    QCOMPARE(game.model.contestants[0].Uin, QStringLiteral("50005"));
}

void TestMessages::joinerAnswers()
{
    mode(JoinGame);
    main->RequestPlayBtn->show();
    // Nothing was asked of anybody: an acceptance or a denial is nobody's answer.
    game.dispatcher.dispatch(PeerA, QStringLiteral("RAHosty"));
    game.dispatcher.dispatch(PeerA, QStringLiteral("RDHosty&&rx0"));
    QVERIFY(game.session.hostAddress().isEmpty());
    QVERIFY(boxes.isEmpty());
    request->UinEdit->setText(PeerA);
    request->CharacterEdit->setText(QStringLiteral("Pip.acs"));
    QVERIFY(request->RequestBtnClick());
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"RQHosty&&50005&&Pip.acs"});
    game.dispatcher.dispatch(PeerA, QStringLiteral("RAHosty"));
    QCOMPARE(game.session.hostAddress(), PeerA);
    QVERIFY(main->RequestPlayBtn->isHidden());
    QCOMPARE(boxes, QStringList{"We were accepted for the game.\r\rClick \"OK\" button when ready for the Game."});
    QCOMPARE(sentTo(a, 2), (QList<QByteArray>{"RRHosty", "RRHosty"}));
    game.dispatcher.dispatch(PeerA, QStringLiteral("RDHosty&&rx2junk"));
    QCOMPARE(boxes.last(), QStringLiteral("Our Play Request was Denied.\rReason:reason2"));
    // During a race: the address is kept, nothing is shown.
    game.session.setRaceRunning(true);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RAHosty"));
    game.dispatcher.dispatch(PeerA, QStringLiteral("RDHosty&&rx1"));
    game.session.setRaceRunning(false);
    QCOMPARE(game.session.hostAddress(), PeerA);
    QCOMPARE(boxes.size(), 2);
    QVERIFY(a->drain().isEmpty());
}

void TestMessages::floodsOpenBoundedBoxes()
{
    // Every request that arrives while a question is open opens another (nested) one, up
    // to the places left in the roster; the rest are left unanswered.
    mode(HostGame);
    answerYes = false;
    int sent = 0;
    whileAsking = [&] {
        if (sent < 20) {
            ++sent;
            game.dispatcher.dispatch(PeerA, QStringLiteral("RQJo&&%1&&Bolt.acs").arg(70000 + sent));
        }
    };
    game.dispatcher.dispatch(PeerA, QStringLiteral("RQJo&&60006&&Bolt.acs"));
    QCOMPARE(questions.size(), 5);
    QCOMPARE(sentTo(a, 5).size(), 5);   // the five asked are refused ("rx0"), the rest ignored
    QVERIFY(a->drain().isEmpty());
    // Real boxes, answered in the order they opened, not the reverse: still five at most.
    const QuestionAnswerer answerer = SetQuestionAnswerer({});
    const auto openBoxes = [] {
        QList<QMessageBox *> open;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                open << box;
        return open;
    };
    for (int i = 0; i < 6; ++i)
        game.dispatcher.dispatch(PeerA, QStringLiteral("RQJo&&%1&&Bolt.acs").arg(71000 + i));
    QCOMPARE(openBoxes().size(), 5);
    QList<QMessageBox *> first = openBoxes();
    std::sort(first.begin(), first.end(), [](QMessageBox *x, QMessageBox *y) { return x->text() < y->text(); });
    first[0]->done(QMessageBox::No);
    first[1]->done(QMessageBox::No);
    for (int i = 0; i < 4; ++i)
        game.dispatcher.dispatch(PeerA, QStringLiteral("RQJo&&%1&&Bolt.acs").arg(72000 + i));
    QCOMPARE(openBoxes().size(), 5);
    for (QMessageBox *box : openBoxes())
        box->done(QMessageBox::No);
    QTRY_COMPARE(openBoxes().size(), 0);
    SetQuestionAnswerer(answerer);
    a->drain();
    // Answers: one accepted notice and one denial box at a time.
    mode(JoinGame);
    game.session.setRequestedHostAddress(PeerA);
    int nested = 0;
    SetMessageBoxAnswerer([&](BoxKind, const QString &text) {
        boxes << text;
        if (++nested < 10) {
            game.dispatcher.dispatch(PeerA, QStringLiteral("RAHosty"));
            game.dispatcher.dispatch(PeerA, QStringLiteral("RDHosty&&rx%1").arg(nested % 6));
        }
    });
    game.dispatcher.dispatch(PeerA, QStringLiteral("RAHosty"));
    SetMessageBoxAnswerer([this](BoxKind, const QString &text) { boxes << text; });
    QCOMPARE(boxes.size(), 2);   // the accepted notice and, inside it, one denial
    QCOMPARE(game.session.hostAddress(), PeerA);
    a->drain();
}

void TestMessages::requestDialog()
{
    mode(JoinGame);
    game.session.setInviterUin(QStringLiteral("127.0.0.42"));
    game.session.setInviterName(QStringLiteral("Hostess"));
    main->RequestPlayBtnClick();
    QCOMPARE(request->UinEdit->text(), QStringLiteral("127.0.0.42"));
    QCOMPARE(request->NameEdit->text(), QStringLiteral("Hostess"));
    QCOMPARE(request->CharacterEdit->text(), QStringLiteral("Pip.acs"));
    QTest::keyClick(request->UinEdit, Qt::Key_End);
    QCOMPARE(request->NameEdit->text(), QString());   // typing clears the name
    QVERIFY(request->RequestBtnClick());
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"RQHosty&&50005&&Pip.acs"});
    QVERIFY(request->isHidden());
    // An unknown UIN, dotted text that is no IPv4 address, or no character: only a beep,
    // and the dialog stays.
    request->show();
    for (const char *typed : {"99999", "300.1.1.1", "a.b.c.d", "1.2.3.4.", "127.0.0.042x"}) {
        request->UinEdit->setText(QString::fromLatin1(typed));
        QVERIFY2(!request->RequestBtnClick(), typed);
    }
    QVERIFY(request->isVisible());
    request->UinEdit->setText("127.0.0.42");
    request->CharacterEdit->clear();
    QVERIFY(!request->RequestBtnClick());
    QVERIFY(a->drain().isEmpty());
    // Browse sets the file name part of the picked character.
    request->BrowseBtnClick();
    QCOMPARE(request->CharacterEdit->text(), QStringLiteral("Bolt.acs"));
}

void TestMessages::invitePlayers()
{
    mode(HostGame);
    main->InviteBtnClick();
    QCOMPARE(boxes, QStringList{"Please select a Game Type First"});
    main->GameType->setItemIndex(1);
    Records::OnlineBuddyRecord checked{PeerA, QStringLiteral("60006"), QStringLiteral("Jo")};
    Records::OnlineBuddyRecord unchecked{PeerB, QStringLiteral("70007"), QStringLiteral("Al")};
    QVERIFY(folder->writeFile("onlinelist.lst", checked.encode() + unchecked.encode()));
    invites.setBuddies({{QStringLiteral("60006"), QStringLiteral("Jo")}, {QStringLiteral("70007"), QStringLiteral("Al")}});
    invites.setChecked(1, false);   // Al
    Peer messenger(PeerA, MessengerPortNumber);
    messenger.answer("ME", "AKMessenger", GamePortNumber);
    main->InviteBtnClick();
    settle();
    QVERIFY(main->InviteBtn->isEnabled());
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"GPHosty&&50005&&Hosty"});
    QCOMPARE(messenger.texts(messenger.receive(2)),
             (QList<QByteArray>{"GPHosty&&50005", "MEHosty&&\r\n$$UIN50005\r\n &&\r\n \r\n&&getattention\r\n"
                                                  "Hosty, invites you\r\n&&explain\r\nToday: type1"}));
    QVERIFY(b->drain().isEmpty());
}

void TestMessages::aNewQuestionIsTakenWhileTheLastReportIsResent()
{
    // The host has each report, but its "AK"s are lost: the joiner still resends the last
    // report when the host puts the next question. That question is answered, in the
    // memory window or by a click on the Announcer, or skipped, and reported all the same.
    acceptedBy(PeerA);
    game.session.setJoinedRace(true);
    QuestionWindow form(race.questions(), game.screen);
    MemoryTest memoryTest(race.questions(), GameClock());
    MemoryTestWindow memory(memoryTest, game.screen);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RZHosty&&MA&&12&&7 + 5&&1"));
    QCOMPARE(race.questions().submit(QStringLiteral("12")), AnswerVerdict::Right);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RZHosty&&MT&&bgr&&bgr&&2"));
    QVERIFY(memory.isVisible());
    memory.ReadyBtnClick();
    for (const int colour : {0, 1, 3})   // blue, green, red
        memory.PaletteClick(colour);
    memory.SubmitBtn->click();
    QVERIFY(!memory.isVisible());
    game.dispatcher.dispatch(PeerA, QStringLiteral("RZHosty&&DX&&dexteritytest&&Click&&3"));
    QVERIFY(game.model.dexterityCountdown > 0);
    race.questions().characterClicked(QStringLiteral("Announcer"));
    QCOMPARE(game.model.dexterityCountdown, 0);
    game.dispatcher.dispatch(PeerA, QStringLiteral("RZHosty&&MA&&9&&4 + 5&&4"));
    QVERIFY(race.questions().skip());
    game.dispatcher.dispatch(PeerA, QStringLiteral("RZHosty&&MA&&8&&4 + 4&&5"));
    QVERIFY(form.SkipBtn->isEnabled());
    form.SkipBtn->click();
    const QList<QByteArray> sent = a->texts(a->drain(ScaledInterval(8000)));
    for (const char *report : {"RBHosty&&50005&&12&&1", "RBHosty&&50005&&bgr&&2", "RBHosty&&50005&&dexteritytest&&3",
                               "RKHosty&&50005&&9&&4", "RKHosty&&50005&&8&&5"})
        QVERIFY2(sent.contains(report), report);
    QVERIFY(!form.isVisible());
    game.session.setJoinedRace(false);
}

void TestMessages::hostRaceUntil(bool inRounds)
{
    mode(HostGame);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    main->GameType->setItemIndex(1);
    bool introduced = false;
    const auto opened = connect(&race, &Race::raceStep, this,
                                [&](RaceStep step) { introduced = introduced || step == RaceStep::TrackOpened; });
    race.start();
    QList<QByteArray> seen;
    const auto reached = [&] {
        seen += a->texts(a->drain(0));
        if (!inRounds)
            return introduced;
        return std::any_of(seen.begin(), seen.end(), [](const QByteArray &text) { return text.startsWith("RZ"); });
    };
    QVERIFY(QTest::qWaitFor(reached, 60000));
    disconnect(opened);
}

QList<QByteArray> TestMessages::sentUntilTheRaceIsOver()
{
    (void)QTest::qWaitFor([this] { return !race.inProgress(); }, 60000);
    return a->texts(a->drain(ScaledInterval(500) + 300));
}

void TestMessages::leavingAHostedRaceTellsTheJoiners_data()
{
    QTest::addColumn<int>("newMode");   // -1 "Cancel Game" (race track), -2 "New Game", -3 HFparms.cfg gone
    QTest::addColumn<int>("until");   // 0 a joiner accepted, no "Start Game"; 1 the introductions; 2 a question out
    QTest::newRow("Cancel Game, a question out") << -1 << 2;
    QTest::newRow("Practice, a question out") << int(PracticeGame) << 2;
    QTest::newRow("New Game, a question out") << -2 << 2;
    QTest::newRow("Cancel Game, introductions") << -1 << 1;
    QTest::newRow("Local Race, introductions") << int(LocalRace) << 1;
    QTest::newRow("New Game, before the start") << -2 << 0;
    QTest::newRow("Practice, before the start") << int(PracticeGame) << 0;
    QTest::newRow("Host a Game again, before the start") << int(HostGame) << 0;
    QTest::newRow("parameters file gone, a question out") << -3 << 2;
}

void TestMessages::leavingAHostedRaceTellsTheJoiners()
{
    // However the host leaves its game, before "Start Game" too, the joiners get "RC"
    // twice, also once the roster is gone; and nothing more of the race: no question
    // resent, no positions, no countdown, no start, no question shown here in the new mode.
    QFETCH(int, newMode);
    QFETCH(int, until);
    if (until > 0) {
        hostRaceUntil(until == 2);
    } else {
        mode(HostGame);
        addRemote("Jo", "60006", "Bolt.acs", PeerA);
    }
    QStringList after;
    const QList<QMetaObject::Connection> watching = {
        connect(&race, &Race::raceStep, this,
                [&](RaceStep step) {
                    if (step == RaceStep::Opened || step == RaceStep::RoundsRunning)
                        after << "start";
                }),
        connect(&race, &Race::countdownNumber, this,
                [&](int n) {
                    if (n != CountdownOver)
                        after << "countdown";
                }),
        connect(&race.questions(), &QuestionRound::questionShown, this, [&] { after << "question"; }),
        connect(&race.questions(), &QuestionRound::memoryTestShown, this, [&] { after << "memory test"; }),
    };
    const QString parametersPath = folder->messenger() + QStringLiteral("HFparms.cfg");
    if (newMode == -1)
        race.cancel();   // "Cancel Game"
    else if (newMode == -2)
        main->NewRaceBtn->click();
    else if (newMode == -3) {
        // main's notice, with the end of the program that follows the box left out
        const auto notice = ParametersMissingNotice(race);
        parameters.missing = [notice](std::function<void()>) { notice([] {}); };
        QCOMPARE(parameters.ports().game, GamePortNumber);   // read while it is there
        QVERIFY(QFile::rename(parametersPath, parametersPath + QStringLiteral(".gone")));
        (void)parameters.ports();   // the race's next send finds it gone
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes.first().contains(QStringLiteral("missing file HFparms.cfg")));
    } else
        mode(newMode);
    const QList<QByteArray> sent = sentUntilTheRaceIsOver();
    if (parameters.missing) {
        QVERIFY(QFile::rename(parametersPath + QStringLiteral(".gone"), parametersPath));
        parameters.missing = {};
        parameters.missingTold = false;
    }
    for (const QMetaObject::Connection &connection : watching)
        disconnect(connection);
    QCOMPARE(sent, (QList<QByteArray>{"RCHosty", "RCHosty"}));
    QCOMPARE(after, QStringList());
}

void TestMessages::exitDuringTheIntroductionsTellsTheJoiners()
{
    // Exit while the characters are introduced: the race is cancelled, both "RC" go out,
    // and only then does the program end.
    connect(main, &MainWindow::closed, this, [this] { race.leave(); });
    hostRaceUntil(false);
    main->ExitBtn->click();
    QVERIFY(ApplicationTerminating());
    QCOMPARE(sentUntilTheRaceIsOver(), (QList<QByteArray>{"RCHosty", "RCHosty"}));
}

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
