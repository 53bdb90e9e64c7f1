#include "CountDownUnit.h"
#include "GameMessages.h"
#include "InternetUnit.h"
#include "MainUnit.h"
#include "MemoryUnit.h"
#include "MessageBoxes.h"
#include "NetTestFolder.h"
#include "PlayRequests.h"
#include "PlayUnit.h"
#include "QuestionUnit.h"
#include "RaceModel.h"
#include "RadioGroup.h"
#include "ReqPlayUnit.h"
#include "RosterUnit.h"
#include "TTSUnit.h"
#include "kw_unit.h"
#include "records.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

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
    TMainForm *main = nullptr;
    TInternetForm *internet = nullptr;
    TTTSForm *stage = nullptr;
    TReqPlayForm *request = nullptr;
    Peer *a = nullptr;
    Peer *b = nullptr;
    QStringList boxes;
    QStringList questions;
    QStringList spoken;
    bool answerYes = true;
    std::function<void()> whileAsking;

    void mode(int playMode)
    {
        main->ActionType->setItemIndex(playMode);
        main->ActionTypeClick();
    }
    void addRemote(const QString &name, const QString &uin, const QString &character, const QString &address)
    {
        const int slot = AddContestant(name, uin, character);
        ContestantTable[slot].Address = address;
    }
    QList<QByteArray> sentTo(Peer *peer, int count)
    {
        return peer->texts(peer->receive(count, 5000));
    }

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void rosterTravelsToTheJoiner();
    void rosterGuards();
    void positions();
    void answersAndSkipsAreCountedOnce();
    void questionFromTheHost();
    void acknowledgementsAndReadiness();
    void cancelAndDescription();
    void invitationPing();
    void malformedMessagesChangeNothing();
    void groupSendsResendToTheSilent();
    void requestRefusalsInOrder();
    void acceptedRequest();
    void stateChangedWhileTheQuestionWasOpen();
    void joinerAnswers();
    void floodsOpenBoundedBoxes();
    void requestDialog();
    void invitePlayers();
};

void TestMessages::initTestCase()
{
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
    SetQuestionAnswerer([this](const QString &text) {
        questions << text;
        if (whileAsking)
            whileAsking();
        return answerYes;
    });
    SetSpeechObserver([this](const QString &identity, const QString &text) {
        if (identity == QLatin1String("Announcer"))
            spoken << text;
    });
    main = new TMainForm;
    MainForm = main;
    main->Timer1->stop();
    stage = new TTTSForm;
    QVERIFY(QFile::copy(qEnvironmentVariable("HF_BIN_DIR") + "/Announcer.acs", folder->program() + "Announcer.acs"));
    QVERIFY(LoadCharacter(0, ProgramFolder() + QStringLiteral("Announcer.acs"), false, false, QStringLiteral("Announcer")));
    internet = new TInternetForm;
    request = new TReqPlayForm;
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
    RaceRunning = false;
    JoinedRace = false;
    ShutdownCountdown = 0;
    LastRosterPayload.clear();
    LastScorePayload.clear();
    for (ContestantRecord &record : ContestantTable)
        record.Acked = false;
    main->GameType->setItemIndex(-1);
    mode(NoPlayMode);
    ResetContestantTable();
    main->Contestants->clear();
    a->drain(0);
    b->drain(0);
}

void TestMessages::cleanupTestCase()
{
    SetSpeechObserver({});
    SetQuestionAnswerer({});
    SetMessageBoxAnswerer({});
    delete a;
    delete b;
    delete request;
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
    const QString payload = RosterPayload();
    QCOMPARE(payload, QStringLiteral("&&50005&&Hosty&&Pip.acs&&60006&&Jo&&Bolt.acs") + QStringLiteral("&& && && ").repeated(4));
    QCOMPARE(payload.count(QStringLiteral("&&")), 18);

    // The joiner takes the two real contestants and acknowledges.
    mode(JoinGame);
    DispatchMessage(PeerA, QStringLiteral("RSHosty") + payload);
    QCOMPARE(main->Contestants->count(), 2);
    QCOMPARE(main->Contestants->item(0)->text(), QStringLiteral("50005\tHosty\tPip.acs"));
    QCOMPARE(main->Contestants->item(1)->text(), QStringLiteral("60006\tJo\tBolt.acs"));
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"AKHosty"});
    // A short roster adds no contestant made of stray fields.
    DispatchMessage(PeerA, QStringLiteral("RSHosty&&50005&&Hosty&&Pip.acs&&60006&&Jo"));
    QCOMPARE(main->Contestants->count(), 2);
    QCOMPARE(ContestantTable[2].Uin, QString());
    // A path in a character name is not followed.
    DispatchMessage(PeerA, QStringLiteral("RSHosty&&50005&&Hosty&&..\\..\\Zed.acs"));
    QCOMPARE(ContestantTable[0].CharacterFile, QStringLiteral("Zed.acs"));
}

void TestMessages::rosterGuards()
{
    mode(JoinGame);
    const QString roster = QStringLiteral("RSH&&50005&&Hosty&&Pip.acs&&60006&&Jo&&Bolt.acs");
    // While a race runs: neither taken nor acknowledged.
    RaceRunning = true;
    DispatchMessage(PeerA, roster);
    QCOMPARE(main->Contestants->count(), 0);
    RaceRunning = false;
    QVERIFY(a->drain().isEmpty());
    DispatchMessage(PeerA, roster);
    QCOMPARE(main->Contestants->count(), 2);
    QCOMPARE(sentTo(a, 1).size(), 1);
    // The same roster again: not acknowledged again.
    DispatchMessage(PeerA, roster);
    QVERIFY(a->drain().isEmpty());
    // After the joiner's race a new roster is acknowledged but not taken.
    JoinedRace = true;
    DispatchMessage(PeerA, QStringLiteral("RSH&&70007&&New&&Zed.acs"));
    QCOMPARE(sentTo(a, 1).size(), 1);
    QCOMPARE(main->Contestants->count(), 2);
    // A host's own roster is not replaced by anyone's roster message.
    JoinedRace = false;
    mode(HostGame);
    DispatchMessage(PeerB, QStringLiteral("RSH&&80008&&Other&&Zed.acs"));
    QCOMPARE(sentTo(b, 1).size(), 1);
    QCOMPARE(main->Contestants->count(), 1);
    QCOMPARE(ContestantTable[0].Uin, QStringLiteral("50005"));
    // Nor does anyone's start signal start a race on a host, or on a joiner whose race runs.
    DispatchMessage(PeerB, QStringLiteral("SRH"));
    mode(JoinGame);
    RaceRunning = true;
    DispatchMessage(PeerB, QStringLiteral("SRH"));
    RaceRunning = false;
    QVERIFY(!JoinedRace);
    QVERIFY(b->drain().isEmpty());
}

void TestMessages::positions()
{
    mode(JoinGame);
    DispatchMessage(PeerA, QStringLiteral("RSH&&1001&&A&&Pip.acs&&1002&&B&&Bolt.acs&&1003&&C&&Penny.acs"));
    QCOMPARE(main->Contestants->count(), 3);
    a->drain();
    // No race: ignored.
    DispatchMessage(PeerA, QStringLiteral("RPH&&10&&20&&30&&0&&0&&0"));
    QCOMPARE(ContestantTable[1].Progress, 0);
    RaceRunning = true;
    DispatchMessage(PeerA, QStringLiteral("RPH&&10&&20&&30&&0&&0&&0"));
    QCOMPARE((QList<int>{ContestantTable[0].Progress, ContestantTable[1].Progress, ContestantTable[2].Progress}),
             (QList<int>{10, 20, 30}));
    QCOMPARE(WinIndex, 2);
    QCOMPARE(sentTo(a, 1).size(), 1);
    // The same values again: neither acknowledged nor taken.
    ContestantTable[0].Progress = 99;
    DispatchMessage(PeerA, QStringLiteral("RPH&&10&&20&&30&&0&&0&&0"));
    QCOMPARE(ContestantTable[0].Progress, 99);
    QVERIFY(a->drain().isEmpty());
    // Fewer fields than contestants: the last one repeats; a non-number counts as 0.
    DispatchMessage(PeerA, QStringLiteral("RPH&&x1&&44"));
    QCOMPARE((QList<int>{ContestantTable[0].Progress, ContestantTable[1].Progress, ContestantTable[2].Progress}),
             (QList<int>{0, 44, 44}));
    RaceRunning = false;
}

void TestMessages::answersAndSkipsAreCountedOnce()
{
    mode(HostGame);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    addRemote("Al", "70007", "Penny.acs", PeerB);
    ContestantTable[1].Confirmed = 2;
    DispatchMessage(PeerA, QStringLiteral("RBJo&&60006&&42"));
    DispatchMessage(PeerA, QStringLiteral("RBJo&&60006&&42"));   // a resend: acknowledged, not counted
    QCOMPARE(ContestantTable[1].Score, 1);
    QCOMPARE(ContestantTable[1].Confirmed, quint8(1));
    QCOMPARE(ContestantTable[2].Score, 0);
    QCOMPARE(sentTo(a, 2), (QList<QByteArray>{"AKHosty", "AKHosty"}));
    // The filter holds sender and payload, not the code: a skip with the same answer is a repeat.
    DispatchMessage(PeerA, QStringLiteral("RKJo&&60006&&42"));
    QCOMPARE(ContestantTable[1].Score, 1);
    // A skip halves, dropping the fraction, and puts the character back to the start.
    ContestantTable[1].Score = 7;
    ContestantTable[1].Progress = 7;
    ContestantTable[1].LastX = 300;
    DispatchMessage(PeerA, QStringLiteral("RKJo&&60006&&17"));
    QCOMPARE(ContestantTable[1].Score, 3);
    QCOMPARE(ContestantTable[1].Progress, 3);
    QCOMPARE(ContestantTable[1].LastX, 0);
    // Another contestant's answer with the same payload counts.
    DispatchMessage(PeerB, QStringLiteral("RKAl&&60006&&17"));
    DispatchMessage(PeerB, QStringLiteral("RBAl&&70007&&17"));
    QCOMPARE(ContestantTable[2].Score, 1);
}

void TestMessages::questionFromTheHost()
{
    mode(JoinGame);
    TQuestionForm form;
    LastQuestionKey.clear();
    DispatchMessage(PeerA, QStringLiteral("RZHosty&&MA&&12&&7 + 5&&1"));
    QCOMPARE(sentTo(a, 1), (QList<QByteArray>{"AKHosty"}));
    QVERIFY(form.isVisible());
    QVERIFY(form.Question->text().contains(QStringLiteral("7 + 5")));
    QCOMPARE(CurrentAnswer, QStringLiteral("12"));
    QCOMPARE(CurrentSender, PeerA);
    // A resend of the same question is acknowledged again but not shown anew.
    form.Answer->setText(QStringLiteral("1"));
    DispatchMessage(PeerA, QStringLiteral("RZHosty&&MA&&12&&7 + 5&&1"));
    QCOMPARE(sentTo(a, 1), (QList<QByteArray>{"AKHosty"}));
    QCOMPARE(form.Answer->text(), QStringLiteral("1"));
    form.hide();
}

void TestMessages::acknowledgementsAndReadiness()
{
    mode(HostGame);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    addRemote("Al", "70007", "Penny.acs", PeerB);
    AckFlag = false;
    DispatchMessage(PeerA, QStringLiteral("AKJo"));
    QVERIFY(AckFlag);
    QVERIFY(ContestantTable[1].Acked);
    QVERIFY(!ContestantTable[2].Acked);
    QVERIFY(!ContestantTable[0].Acked);   // the host's own slot has no address
    DispatchMessage(PeerB, QStringLiteral("RRAl"));
    QCOMPARE(ContestantTable[2].Confirmed, quint8(1));
    QCOMPARE(ContestantTable[1].Confirmed, quint8(0));
}

void TestMessages::cancelAndDescription()
{
    mode(JoinGame);
    RaceRunning = true;
    main->CancelBtn->show();
    DispatchMessage(PeerA, QStringLiteral("RCHosty"));
    QVERIFY(!RaceRunning);
    QVERIFY(main->CancelBtn->isHidden());
    QCOMPARE(ShutdownCountdown, 25);
    QCOMPARE(spoken, QStringList{"CANCELLED"});
    // Also without a race.
    ShutdownCountdown = 0;
    DispatchMessage(PeerA, QStringLiteral("RCHosty"));
    QCOMPARE(ShutdownCountdown, 25);

    main->Memo1->setPlainText("old");
    DispatchMessage(PeerA, QStringLiteral("RTHosty&&Host: Hosty 50005\r\ntype3\r\nlevel1"));
    QCOMPARE(main->Memo1->toPlainText(), QStringLiteral("Host: Hosty 50005\ntype3\nlevel1"));
    RaceRunning = true;
    DispatchMessage(PeerA, QStringLiteral("RTHosty&&during the race"));
    QCOMPARE(main->Memo1->toPlainText(), QString());
    RaceRunning = false;
}

void TestMessages::invitationPing()
{
    DispatchMessage(PeerA, QStringLiteral("GPHosty&&1234567890123456789&&") + QString(50, u'n'));
    QCOMPARE(InviterUin, QStringLiteral("123456789012345"));
    QCOMPARE(InviterName, QString(40, u'n'));
    // The messenger-port form carries the UIN alone.
    DispatchMessage(PeerA, QStringLiteral("GPHosty&&777"));
    QCOMPARE(InviterUin, QStringLiteral("777"));
    QCOMPARE(InviterName, QString());
    RaceRunning = true;
    DispatchMessage(PeerA, QStringLiteral("GPHosty&&888&&Late"));
    QCOMPARE(InviterUin, QStringLiteral("777"));
    RaceRunning = false;
}

void TestMessages::malformedMessagesChangeNothing()
{
    mode(JoinGame);
    DispatchMessage(PeerA, QStringLiteral("RSH&&1001&&A&&Pip.acs&&1002&&B&&Bolt.acs"));
    a->drain();
    RaceRunning = true;
    const QStringList garbage = {QString(), QStringLiteral("R"), QStringLiteral("RP"), QStringLiteral("RB"),
                                 QStringLiteral("ZZ&&1&&2"), QString::fromLatin1("RP\0\0&&\0", 7),
                                 QStringLiteral("RP&&&&&&&&&&&&&&"), QStringLiteral("rp&&50&&50"),
                                 QStringLiteral("MEsomeone&&\r\n$$UIN1"), QStringLiteral("RZ"),
                                 QStringLiteral("RS&&99999&&X&&Y.acs")};
    for (const QString &text : garbage)
        DispatchMessage(PeerA, text);
    QCOMPARE(main->Contestants->count(), 2);
    QVERIFY(ContestantTable[0].Progress == 0 && ContestantTable[1].Progress == 0);
    QVERIFY(boxes.isEmpty());
    RaceRunning = false;
}

void TestMessages::groupSendsResendToTheSilent()
{
    mode(HostGame);
    addRemote("Jo", "60006", "Bolt.acs", PeerA);
    addRemote("Al", "70007", "Penny.acs", PeerB);
    a->answer("RS", "AKJo", GamePortNumber);   // Jo answers at once, Al never
    SendRoster();
    QTest::qWait(100);
    QCOMPARE(a->drain().size(), 1);
    QCOMPARE(b->drain().size(), 3);
    a->answer("", "", 0);
    SendPositions();
    QCOMPARE(sentTo(b, 2), (QList<QByteArray>{"RPHosty&&0&&0&&0&&0&&0&&0", "RPHosty&&0&&0&&0&&0&&0&&0"}));
    SendCancel();
    QCOMPARE(sentTo(a, 3).mid(2), QList<QByteArray>{"RCHosty"});
    // The settings to every remote contestant.
    main->GameType->setItemIndex(3);
    main->Difficulty->setItemIndex(2);
    SendGameDescription();
    QCOMPARE(sentTo(b, 2).last(), QByteArray("RTHosty&&Host: Hosty 50005\r\ntype3\r\nlevel2"));
}

void TestMessages::requestRefusalsInOrder()
{
    auto refusal = [&](const QString &character, const QString &uin) {
        a->drain(0);
        DispatchMessage(PeerA, QStringLiteral("RQJo&&") + uin + QStringLiteral("&&") + character);
        return sentTo(a, 1);
    };
    mode(PracticeGame);
    QCOMPARE(refusal("Bolt.acs", "60006"), QList<QByteArray>{"RDHosty&&rx3"});
    mode(HostGame);
    JoinedRace = true;
    QCOMPARE(refusal("Bolt.acs", "60006"), QList<QByteArray>{"RDHosty&&rx4"});
    JoinedRace = false;
    QCOMPARE(refusal("Pip.acs", "60006"), QList<QByteArray>{"RDHosty&&rx2"});
    QCOMPARE(refusal("Bolt.acs", "50005"), QList<QByteArray>{"RDHosty&&rx5"});
    answerYes = false;
    QCOMPARE(refusal("Bolt.acs", "60006"), QList<QByteArray>{"RDHosty&&rx0"});
    QCOMPARE(questions, QStringList{"We Received a Play Request from:\rJo  UIN:60006\r\rAccept?"});
    for (int i = 0; i < 5; ++i)
        AddContestant("X", QString::number(1000 + i), "Zed.acs");
    QCOMPARE(refusal("Bolt.acs", "60006"), QList<QByteArray>{"RDHosty&&rx1"});   // full: not asked
    QCOMPARE(questions.size(), 1);
}

void TestMessages::acceptedRequest()
{
    mode(HostGame);
    main->GameType->setItemIndex(2);
    main->Difficulty->setItemIndex(0);
    a->answer("RS", "AKJo", GamePortNumber);
    DispatchMessage(PeerA, QStringLiteral("RQ\\map=\"Joe\"=\"Jo\"\\&&60006&&Bolt.acs"));
    QCOMPARE(main->Contestants->count(), 2);
    QCOMPARE(main->Contestants->item(1)->text(), QStringLiteral("60006\tJo\tBolt.acs"));
    QCOMPARE(ContestantTable[1].Address, PeerA);
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
            AddContestant("X", QString::number(1000 + i), "Zed.acs");
    };
    DispatchMessage(PeerA, QStringLiteral("RQJo&&60006&&Bolt.acs"));
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"RDHosty&&rx1"});
    QVERIFY(ContestantTable[0].Address.isEmpty());
    QCOMPARE(ContestantTable[0].Uin, QStringLiteral("50005"));
}

void TestMessages::joinerAnswers()
{
    mode(JoinGame);
    main->ReqPlayBtn->show();
    DispatchMessage(PeerA, QStringLiteral("RAHosty"));
    QCOMPARE(HostAddress, PeerA);
    QVERIFY(main->ReqPlayBtn->isHidden());
    QCOMPARE(boxes, QStringList{"We were accepted for the game.\r\rClick \"OK\" button when ready for the Game."});
    QCOMPARE(sentTo(a, 2), (QList<QByteArray>{"RRHosty", "RRHosty"}));
    DispatchMessage(PeerB, QStringLiteral("RDHosty&&rx2junk"));
    QCOMPARE(boxes.last(), QStringLiteral("Our Play Request was Denied.\rReason:reason2"));
    // During a race: the address is kept, nothing is shown.
    RaceRunning = true;
    DispatchMessage(PeerB, QStringLiteral("RAHosty"));
    DispatchMessage(PeerB, QStringLiteral("RDHosty&&rx1"));
    RaceRunning = false;
    QCOMPARE(HostAddress, PeerB);
    QCOMPARE(boxes.size(), 2);
    QVERIFY(b->drain().isEmpty());
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
            DispatchMessage(PeerA, QStringLiteral("RQJo&&%1&&Bolt.acs").arg(70000 + sent));
        }
    };
    DispatchMessage(PeerA, QStringLiteral("RQJo&&60006&&Bolt.acs"));
    QCOMPARE(questions.size(), 5);
    QCOMPARE(sentTo(a, 5).size(), 5);   // the five asked are refused ("rx0"), the rest ignored
    QVERIFY(a->drain().isEmpty());
    // Answers: one accepted notice and one denial box at a time.
    mode(JoinGame);
    int nested = 0;
    SetMessageBoxAnswerer([&](BoxKind, const QString &text) {
        boxes << text;
        if (++nested < 10) {
            DispatchMessage(PeerB, QStringLiteral("RAHosty"));
            DispatchMessage(PeerB, QStringLiteral("RDHosty&&rx%1").arg(nested % 6));
        }
    });
    DispatchMessage(PeerA, QStringLiteral("RAHosty"));
    SetMessageBoxAnswerer([this](BoxKind, const QString &text) { boxes << text; });
    QCOMPARE(boxes.size(), 2);   // the accepted notice and, inside it, one denial
    QCOMPARE(HostAddress, PeerB);
}

void TestMessages::requestDialog()
{
    mode(JoinGame);
    InviterUin = QStringLiteral("127.0.0.42");
    InviterName = QStringLiteral("Hostess");
    ReqPlayBtnClick();
    QCOMPARE(request->UINedit->text(), QStringLiteral("127.0.0.42"));
    QCOMPARE(request->NameEdit->text(), QStringLiteral("Hostess"));
    QCOMPARE(request->Charname->text(), QStringLiteral("Pip.acs"));
    QTest::keyClick(request->UINedit, Qt::Key_End);
    QCOMPARE(request->NameEdit->text(), QString());   // typing clears the name
    QVERIFY(request->ReqBtnClick());
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"RQHosty&&50005&&Pip.acs"});
    QVERIFY(request->isHidden());
    // An unknown UIN or no character: only a beep.
    request->UINedit->setText("99999");
    QVERIFY(!request->ReqBtnClick());
    request->UINedit->setText("127.0.0.42");
    request->Charname->clear();
    QVERIFY(!request->ReqBtnClick());
    QVERIFY(a->drain().isEmpty());
    // Browse sets the file name part of the picked character.
    SetCharacterFilePicker([](const QString &, const QString &) { return QStringLiteral("C:\\x\\Bolt.acs"); });
    request->Button1Click();
    SetCharacterFilePicker({});
    QCOMPARE(request->Charname->text(), QStringLiteral("Bolt.acs"));
}

void TestMessages::invitePlayers()
{
    mode(HostGame);
    InviteBtnClick();
    QCOMPARE(boxes, QStringList{"Please select a Game Type First"});
    main->GameType->setItemIndex(1);
    Records::OnlineBuddyRecord checked{PeerA, QStringLiteral("60006"), QStringLiteral("Jo")};
    Records::OnlineBuddyRecord unchecked{PeerB, QStringLiteral("70007"), QStringLiteral("Al")};
    QVERIFY(folder->writeFile("onlinelist.lst", checked.encode() + unchecked.encode()));
    main->IsOnline->clear();
    for (const QString &text : {QStringLiteral("Jo\t60006"), QStringLiteral("Al\t70007")}) {
        auto *item = new QListWidgetItem(text, main->IsOnline);
        item->setCheckState(text.startsWith(u'J') ? Qt::Checked : Qt::Unchecked);
    }
    Peer messenger(PeerA, MessengerPortNumber);
    messenger.answer("ME", "AKMessenger", GamePortNumber);
    InviteBtnClick();
    QVERIFY(main->InviteBtn->isEnabled());
    QCOMPARE(sentTo(a, 1), QList<QByteArray>{"GPHosty&&50005&&Hosty"});
    QCOMPARE(messenger.texts(messenger.receive(2)),
             (QList<QByteArray>{"GPHosty&&50005", "MEHosty&&\r\n$$UIN50005\r\n &&\r\n \r\n&&getattention\r\n"
                                                  "Hosty, invites you\r\n&&explain\r\nToday: type1"}));
    QVERIFY(b->drain().isEmpty());
}

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
