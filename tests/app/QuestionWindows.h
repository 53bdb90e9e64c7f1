// The question and memory test windows with the real main window and character stage,
// offscreen and at a small time scale, shared by tst_question_window (the typed
// questions and their reports) and tst_puzzle_windows (the memory and dexterity tests). A
// socket on another loopback address stands for the race host of remote questions.
#pragma once

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
#include "QuestionSources.h"
#include "QuestionRound.h"
#include "QuestionWindow.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "Race.h"
#include "RaceScreen.h"
#include "RadioGroup.h"
#include "records.h"
#include "RosterList.h"
#include "Stage.h"
#include "TestGame.h"
#include "Utilities.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <functional>

// The texts of the datagrams whose code is code.
inline QList<QByteArray> withCode(const QList<QByteArray> &texts, const QByteArray &code)
{
    QList<QByteArray> result;
    for (const QByteArray &text : texts)
        if (text.startsWith(code))
            result << text;
    return result;
}

// Closes a window as the window manager does (title bar, Alt+F4); true when it closed.
inline bool closeFromWindowManager(QWidget *window)
{
    QCloseEvent close;
    QCoreApplication::sendEvent(window->windowHandle(), &close);
    return close.isAccepted() && !window->isVisible();
}

// Runs a function each time the watched widget is shown.
class ShowWatcher : public QObject
{
public:
    ShowWatcher(QWidget *watched, std::function<void()> shown) : shown(std::move(shown))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            shown();
        return false;
    }

private:
    std::function<void()> shown;
};

// Everything the windows need, set up once per test program (setUp, in initTestCase) and
// brought back to a practice race of one before each case (reset, in init).
class QuestionWindows
{
public:
    // gamePort: the game's port (the messenger's is two below); ownAddress: this copy's
    // loopback address; hostAddress: the race host's, a socket of the test.
    QuestionWindows(quint16 gamePort, QByteArray ownAddress, QString hostAddress)
        : GamePortNumber(gamePort), HostPeerAddress(std::move(hostAddress)), ownAddress(std::move(ownAddress))
    {
    }

protected:
    const quint16 GamePortNumber;
    const QString HostPeerAddress;
    const QByteArray ownAddress;
    NetTestFolder *folder = nullptr;
    Peer *host = nullptr;
    MessengerParameters parameters;   // as main keeps them, for the transport
    GameTransport *internet = nullptr;
    TestGame game;
    Race &race = game.race;   // the race the windows start and follow
    MainWindow *main = nullptr;
    AgentStage *stage = nullptr;
    QuestionWindow *question = nullptr;
    MemoryTest *memoryTest = nullptr;
    MemoryTestWindow *memory = nullptr;
    ScreenDialogs screenDialogs;   // the boxes main hands the game (to the answerers)
    InviteList invites;
    PlayRequests playRequests{race, game.session, game.settings, game.roster, game.dialogs, invites, game.dispatcher};

    // Lets every sequence started meanwhile (a report and its resends, a memory
    // playback) run to its end.
    void settle()
    {
        QTRY_COMPARE_WITH_TIMEOUT(PendingWaits(), 0, 60000);
    }
    void type(const QString &text)
    {
        question->Answer->clear();
        QTest::keyClicks(question->Answer, text);
        QTest::keyClick(question->Answer, Qt::Key_Return);
        settle();
    }
    QWidget *announcerWindow()
    {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (widget->windowTitle() == QLatin1String("Announcer") && widget != question)
                return widget;
        return nullptr;
    }

    // A player who answers every question at once: typed answers, the memory sequence
    // clicked back after "Ready", the Announcer clicked during a dexterity question.
    void answerEverything()
    {
        if (memory->isVisible()) {
            if (!memory->ReadyBtn->isHidden() && !memory->InfoBox->toPlainText().isEmpty()) {
                memory->ReadyBtnClick();
                for (QChar letter : memoryTest->sequence())
                    memory->PaletteClick(int(PaletteLetters.indexOf(letter)));
                memory->SubmitBtnClick();
            }
        } else if (question->isVisible()) {
            if (game.model.dexterityCountdown > 0) {
                race.questions().characterClicked(QStringLiteral("Announcer"));
            } else {
                question->Answer->setText(race.questions().answer());
                question->AnswerBtnClick();
            }
        }
    }

    void setUp()
    {
        FollowPlaySettings(race, game.settings);   // the race's rules follow the settings
        folder = new NetTestFolder(GamePortNumber, quint16(GamePortNumber - 2), {"Pip.acs", "Bolt.acs"});
        QVERIFY(folder->writeFile("stdtalk.lst", "ql1 WORDS\r\nql2 ADD\r\nql3 SUB\r\nql4 MUL\r\nql5 CATCH\r\nqa1 UNSCRAMBLE\r\nqa2 TYPE\r\n"
                      "qb1 ADDP\r\nqc1 SUBP\r\nqd1 MULP\r\nqe1 CATCHP\r\nqe2 CLICKP\r\n"
                      "mt1 MEMORIZE\r\nmt2 REPEAT\r\nmt3 WRONG\r\n"));
        QVERIFY(QFile::copy(qEnvironmentVariable("HF_BIN_DIR") + "/Announcer.acs", folder->program() + "Announcer.acs"));
        qputenv("HOLLYFROST_BIND_ADDRESS", ownAddress);
        Records::Options.UserUin = 50005;
        Records::Options.DisplayName = QStringLiteral("Robin");
        SetMessageBoxAnswerer([](BoxKind, const QString &) {});
        game.dialogs.use(&screenDialogs);
        stage = new AgentStage(game.screen);
        game.stage.use(stage);
        main = new MainWindow(race, playRequests);
        InstallMessageHandlers(race, playRequests);
        question = new QuestionWindow(race.questions(), game.screen);
        memoryTest = new MemoryTest(race.questions(), GameClock());
        memory = new MemoryTestWindow(*memoryTest, game.screen);
        internet = new GameTransport(game.receiver(), parameters);
        game.transport.use(internet);
        internet->StartListening();
        QVERIFY(internet->Listening());
        host = new Peer(HostPeerAddress, GamePortNumber);
        QVERIFY(host->bound());
        race.random().seed(3);
    }
    void reset()
    {
        game.roster.reset();
        main->PlayModeGroup->setItemIndex(PracticeGame);
        game.roster.append({QStringLiteral("40001"), QStringLiteral("Robin"), QStringLiteral("Pip.acs")});
        game.model.dexterityCountdown = 0;
        race.questions().reset();
        question->close();
        memory->close();
        host->answer(QByteArray(), QByteArray(), 0);   // the host answers nothing
        host->drain(20);
    }
    void tearDown()
    {
        SetMessageBoxAnswerer({});
        delete host;
        delete internet;
        delete memory;
        delete memoryTest;
        delete question;
        game.stage.use(nullptr);
        delete stage;
        delete main;
        delete folder;
    }
};
