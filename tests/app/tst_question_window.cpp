// The question window, the question round, the memory window and the dexterity click,
// with the real windows and character stage, offscreen and at a small time scale. A
// socket on another loopback address stands for the race host of remote questions.
#include "DexterityTest.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "MainWindow.h"
#include "MemoryTestWindow.h"
#include "MessageBoxes.h"
#include "MessageHandlers.h"
#include "NetTestFolder.h"
#include "PlayRequests.h"
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
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

// The boxes main hands the game (to the answerers below); the characters' stage is the test's own.
ScreenDialogs screenDialogs;

namespace {

constexpr quint16 GamePortNumber = 4542;
const QString HostPeerAddress = QStringLiteral("127.0.0.72");

// The texts of the datagrams whose code is code.
QList<QByteArray> withCode(const QList<QByteArray> &texts, const QByteArray &code)
{
    QList<QByteArray> result;
    for (const QByteArray &text : texts)
        if (text.startsWith(code))
            result << text;
    return result;
}

// Closes a window as the window manager does (title bar, Alt+F4); true when it closed.
bool closeFromWindowManager(QWidget *window)
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

} // namespace

class TestQuestionWindow : public QObject
{
    Q_OBJECT
    NetTestFolder *folder = nullptr;
    Peer *host = nullptr;
    MessengerParameters parameters;   // as main keeps them, for the transport
    GameTransport *internet = nullptr;
    TestGame game;
    Race &race = game.race;   // the race the windows start and follow
    MainWindow *main = nullptr;
    AgentStage *stage = nullptr;
    QuestionWindow *question = nullptr;
    MemoryTestWindow *memory = nullptr;
    PlayRequests playRequests{race};

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
                for (QChar letter : memory->storedSequence())
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

private slots:
    void initTestCase()
    {
        folder = new NetTestFolder(GamePortNumber, GamePortNumber - 2, {"Pip.acs", "Bolt.acs"});
        QVERIFY(folder->writeFile("stdtalk.lst", "ql1 WORDS\r\nql2 ADD\r\nql3 SUB\r\nql4 MUL\r\nql5 CATCH\r\nqa1 UNSCRAMBLE\r\nqa2 TYPE\r\n"
                      "qb1 ADDP\r\nqc1 SUBP\r\nqd1 MULP\r\nqe1 CATCHP\r\nqe2 CLICKP\r\n"
                      "mt1 MEMORIZE\r\nmt2 REPEAT\r\nmt3 WRONG\r\n"));
        QVERIFY(QFile::copy(qEnvironmentVariable("HF_BIN_DIR") + "/Announcer.acs", folder->program() + "Announcer.acs"));
        qputenv("HOLLYFROST_BIND_ADDRESS", "127.0.0.71");
        Records::Options.UserUin = 50005;
        Records::Options.DisplayName = QStringLiteral("Robin");
        SetMessageBoxAnswerer([](BoxKind, const QString &) {});
        game.dialogs.use(&screenDialogs);
        stage = new AgentStage(game.screen);
        game.stage.use(stage);
        main = new MainWindow(race, playRequests);
        InstallMessageHandlers(race, playRequests);
        question = new QuestionWindow(race.questions(), game.screen);
        memory = new MemoryTestWindow(race.questions(), game.screen);
        internet = new GameTransport(game.receiver(), parameters);
        game.transport.use(internet);
        internet->StartListening();
        QVERIFY(internet->Listening());
        host = new Peer(HostPeerAddress, GamePortNumber);
        QVERIFY(host->bound());
        race.random().seed(3);
        race.random().seed(3);
    }
    void init()
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
    void cleanupTestCase()
    {
        SetMessageBoxAnswerer({});
        delete host;
        delete internet;
        delete memory;
        delete question;
        game.stage.use(nullptr);
        delete stage;
        delete main;
        delete folder;
    }

    void arithmeticQuestionIsShownAndChecked()
    {
        race.questions().showHere(QStringLiteral("MS&&5&&8 - 3&&1"));
        QVERIFY(question->isVisible());
        QCOMPARE(question->windowTitle(), QStringLiteral("SUB"));
        QCOMPARE(question->Question->text(), QStringLiteral("SUBP\n\n8 - 3"));
        QCOMPARE(question->Question->accessibleName(), question->Question->text());
        QCOMPARE(question->pos(), BottomCentre(game.screen.rect(), question->frameGeometry().size()));
        QCOMPARE(race.questions().answer(), QStringLiteral("5"));
        QCOMPARE(race.questions().sender(), QString());
        // Wrong answers: an empty box, the wrong label, no penalty, the question stays.
        for (const QString &wrong : {QStringLiteral("6"), QStringLiteral("5 "), QStringLiteral("05")}) {
            type(wrong);
            QVERIFY(question->isVisible());
            QVERIFY(!question->WrongLabel->isHidden());
            QCOMPARE(question->Answer->text(), QString());
        }
        QCOMPARE(game.model.contestants[0].Score, 0);
        type(QStringLiteral("5"));
        QVERIFY(!question->isVisible());
        QVERIFY(question->WrongLabel->isHidden());
        QCOMPARE(game.model.contestants[0].Score, 1);
        QCOMPARE(int(game.model.contestants[0].Confirmed), 1);

        // A word scramble: shown in capitals, answered in any letter case with the button.
        race.questions().showHere(QStringLiteral("WS&&moon&&omno&&2"));
        QCOMPARE(question->windowTitle(), QStringLiteral("WORDS"));
        QCOMPARE(question->Question->text(), QStringLiteral("UNSCRAMBLE\nTYPE\nOMNO"));
        question->Answer->setText(QStringLiteral("MoOn"));
        QTest::mouseClick(question->AnswerBtn, Qt::LeftButton);
        QCOMPARE(game.model.contestants[0].Score, 2);
        QCOMPARE(question->Answer->accessibleName(), QStringLiteral("Answer"));
    }

    void repeatedQuestionIsShownOnce()
    {
        const QString payload = QStringLiteral("MM&&12&&3 X 4&&1");
        race.questions().showFromHost(HostPeerAddress, payload);
        QVERIFY(question->isVisible());
        QCOMPARE(game.model.lastQuestionKey, HostPeerAddress + payload);
        question->close();
        race.questions().showFromHost(HostPeerAddress, payload);
        QVERIFY(!question->isVisible());
        // Both deliveries are acknowledged.
        QCOMPARE(host->texts(host->receive(2)), (QList<QByteArray>{"AKRobin", "AKRobin"}));
        // The same question from this computer, or in a new race, is shown.
        race.questions().showHere(payload);
        QVERIFY(question->isVisible());
        question->close();
        race.questions().reset();
        race.questions().showHere(payload);
        QVERIFY(question->isVisible());
    }

    void skipHalvesDistanceAndScore()
    {
        game.model.contestants[0].Progress = 7;
        game.model.contestants[0].Score = 3;
        game.model.contestants[0].LastX = 300;
        race.questions().showHere(QStringLiteral("MA&&9&&4 + 5&&4"));
        game.model.dexterityCountdown = 3;
        QTest::mouseClick(question->SkipBtn, Qt::LeftButton);
        QVERIFY(!question->isVisible());
        QCOMPARE(game.model.contestants[0].Progress, 3);
        QCOMPARE(game.model.contestants[0].Score, 1);
        QCOMPARE(game.model.contestants[0].LastX, 0);
        QCOMPARE(int(game.model.contestants[0].Confirmed), 1);
        QCOMPARE(game.model.dexterityCountdown, 0);
    }

    void reportToHostBlocksSecondPressAndKeepsANewQuestion()
    {
        const QString hostAddress = HostPeerAddress;
        race.questions().showFromHost(hostAddress, QStringLiteral("MA&&4&&2 + 2&&1"));
        bool disabledDuringReport = false;
        bool freshBox = false;
        QTimer::singleShot(0, this, [&] {
            disabledDuringReport = !question->AnswerBtn->isEnabled();
            QTest::keyClicks(question->Answer, QStringLiteral("4"));
            QTest::keyClick(question->Answer, Qt::Key_Return);   // does nothing now
            race.questions().showFromHost(hostAddress, QStringLiteral("MA&&6&&3 + 3&&2"));   // the host's next question
            // It starts with an empty box, whatever was typed while the report went.
            freshBox = question->Answer->text().isEmpty() && question->WrongLabel->isHidden();
        });
        QTest::keyClicks(question->Answer, QStringLiteral("4"));
        QTest::keyClick(question->Answer, Qt::Key_Return);
        settle();
        QVERIFY(disabledDuringReport);
        QVERIFY(freshBox);
        QVERIFY(question->AnswerBtn->isEnabled());
        // The report did not close the question that arrived meanwhile.
        QVERIFY(question->isVisible());
        QCOMPARE(race.questions().answer(), QStringLiteral("6"));
        // A remote question is never scored here.
        QCOMPARE(game.model.contestants[0].Score, 0);
        QCOMPARE(int(game.model.contestants[0].Confirmed), 0);
        // The host puts its next question only once it has the report: that report goes
        // no more. The question's number rides last.
        QCOMPARE(withCode(host->texts(host->drain(100)), "RB"), QList<QByteArray>{"RBRobin&&50005&&4&&1"});
        // A wrong try on it, then the host's next question: no "Wrong" and an empty box.
        QTest::keyClicks(question->Answer, QStringLiteral("7"));
        QTest::keyClick(question->Answer, Qt::Key_Return);
        QVERIFY(!question->WrongLabel->isHidden());
        QTest::keyClicks(question->Answer, QStringLiteral("1"));
        race.questions().showFromHost(hostAddress, QStringLiteral("MA&&6&&3 + 3&&2"));   // put again: no change
        race.questions().showFromHost(hostAddress, QStringLiteral("MA&&8&&4 + 4&&3"));
        QVERIFY(question->WrongLabel->isHidden());
        QCOMPARE(question->Answer->text(), QString());
        // The report on the next question is never acknowledged: the first send and 15
        // repeats.
        QTest::keyClicks(question->Answer, QStringLiteral("8"));
        QTest::keyClick(question->Answer, Qt::Key_Return);
        settle();
        const QList<QByteArray> reports = withCode(host->texts(host->receive(16)), "RB");
        QCOMPARE(reports.size(), 16);
        QCOMPARE(reports.first(), QByteArray("RBRobin&&50005&&8&&3"));
    }

    void hostAcknowledgesReportsAndSkips()
    {
        host->answer("RB", "AKHost", GamePortNumber);
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("WS&&moon&&noom&&3"));
        type(QStringLiteral("moon"));
        QVERIFY(!question->isVisible());
        QVERIFY(question->AnswerBtn->isEnabled());
        const QList<QByteArray> reports = withCode(host->texts(host->drain(100)), "RB");
        QVERIFY2(reports.size() >= 1 && reports.size() < 16, qPrintable(QString::number(reports.size())));
        QCOMPARE(reports.first(), QByteArray("RBRobin&&50005&&moon&&3"));
        // The host puts that question again: it did not get the answer after all (the
        // acknowledgement may have been a replayed one). The answer goes again.
        host->answer("", "", 0);
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("WS&&moon&&noom&&3"));
        QVERIFY(!question->isVisible());
        QCOMPARE(withCode(host->texts(host->drain(100)), "RB"), QList<QByteArray>{reports.first()});
        // A skip that is never acknowledged is sent 6 times; nothing is halved here.
        game.model.contestants[0].Progress = 24;
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("MA&&4&&2 + 2&&4"));
        QTest::mouseClick(question->SkipBtn, Qt::LeftButton);
        settle();
        QVERIFY(!question->isVisible());
        QVERIFY(question->SkipBtn->isEnabled());
        QCOMPARE(game.model.contestants[0].Progress, 24);
        const QList<QByteArray> skips = withCode(host->texts(host->drain(100)), "RK");
        QCOMPARE(skips.size(), 6);
        QCOMPARE(skips.first(), QByteArray("RKRobin&&50005&&4&&4"));
        // The host puts that question again: the lost skip is sent once more, and the
        // question is not shown again.
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("MA&&4&&2 + 2&&4"));
        QVERIFY(!question->isVisible());
        QCOMPARE(withCode(host->texts(host->drain(100)), "RK"), QList<QByteArray>{skips.first()});
        // An older question from the same host (replayed or late) replaces nothing.
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("MA&&9&&4 + 5&&5"));
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("MA&&7&&3 + 4&&3"));
        QVERIFY(question->isVisible());
        QCOMPARE(race.questions().answer(), QStringLiteral("9"));
        question->close();
    }

    void roundSendsRemoteQuestionsFirst()
    {
        QFile::remove(QuestionFilePath());
        main->GameType->setItemIndex(4);   // "Dexterity Test": a known question text
        game.roster.append({QStringLiteral("60006"), QStringLiteral("Sam"), QStringLiteral("Bolt.acs")});
        game.model.contestants[1].Address = HostPeerAddress;
        // Acknowledged: one send; the local player's question comes after it.
        bool remoteFirst = false;
        QElapsedTimer round;
        qint64 shownAfterMs = -1;
        ShowWatcher watcher(question, [&] {
            remoteFirst = game.model.contestants[1].Confirmed == SlotQuestionOutstanding && game.model.contestants[1].Acked;
            shownAfterMs = round.elapsed();
        });
        host->answer("RZ", "AKSam", GamePortNumber);
        round.start();
        QCoro::waitFor(race.questions().runRound());
        QVERIFY(question->isVisible());
        QVERIFY(remoteFirst);
        QCOMPARE(int(game.model.contestants[1].Confirmed), 2);
        QCOMPARE(game.model.contestants[1].QuestionNumber, 2);
        QVERIFY(game.model.contestants[1].Acked);
        QList<QByteArray> sent = withCode(host->texts(host->drain(100)), "RZ");
        QVERIFY2(sent.size() >= 1 && sent.size() < 16, qPrintable(QString::number(sent.size())));
        QCOMPARE(sent.first(), QByteArray("RZRobin&&DX&&dexteritytest&&test&&1"));
        // Still busy with it: the next round puts the same question again, once (it or
        // its answer may have been lost), and no new one.
        QCoro::waitFor(race.questions().runRound());
        QCOMPARE(withCode(host->texts(host->drain(50)), "RZ"), QList<QByteArray>{sent.first()});
        QCOMPARE(game.model.contestants[1].QuestionNumber, 2);
        // Free again but switched off: the first send and 15 repeats, then the round goes
        // on; the local player, free again too, sees the question only after the 15 waits
        // of 500 ms (10 ms each at the tests' time scale).
        game.model.contestants[1].Confirmed = SlotReady;
        question->close();
        game.model.contestants[0].Confirmed = SlotReady;
        host->answer(QByteArray(), QByteArray(), 0);
        shownAfterMs = -1;
        round.start();
        QCoro::waitFor(race.questions().runRound());
        QVERIFY(question->isVisible());
        QVERIFY2(shownAfterMs >= 140, qPrintable(QString::number(shownAfterMs)));
        sent = withCode(host->texts(host->receive(16)), "RZ");
        QCOMPARE(sent.size(), 16);
        QCOMPARE(sent.first(), QByteArray("RZRobin&&DX&&dexteritytest&&test&&2"));
        QVERIFY(!game.model.contestants[1].Acked);
        game.model.dexterityCountdown = 0;
    }

    void roundPutsQuestionsInSequence()
    {
        QFile::remove(QuestionFilePath());
        main->GameType->setItemIndex(3);   // "Simple Math"
        QCoro::waitFor(race.questions().runRound());
        QVERIFY(question->isVisible());
        QCOMPARE(game.model.contestants[0].QuestionNumber, 2);
        QCOMPARE(int(game.model.contestants[0].Confirmed), 2);
        const QString first = ReadQuestionRecord(1).Text;
        QCOMPARE(QStringLiteral("&&") + game.model.lastQuestionKey, first + QStringLiteral("&&1"));
        // Not answered: the next round builds a question but does not show it.
        QCoro::waitFor(race.questions().runRound());
        QCOMPARE(QFileInfo(QuestionFilePath()).size(), 2 * 259);
        QCOMPARE(QStringLiteral("&&") + game.model.lastQuestionKey, first + QStringLiteral("&&1"));
        QCOMPARE(game.model.contestants[0].QuestionNumber, 2);
        type(race.questions().answer());
        QCOMPARE(int(game.model.contestants[0].Confirmed), 1);
        // Answered: the next round shows the second question, not the newest.
        QCoro::waitFor(race.questions().runRound());
        QCOMPARE(QFileInfo(QuestionFilePath()).size(), 3 * 259);
        QCOMPARE(QStringLiteral("&&") + game.model.lastQuestionKey, ReadQuestionRecord(2).Text + QStringLiteral("&&2"));
        QCOMPARE(game.model.contestants[0].QuestionNumber, 3);
        QVERIFY(question->isVisible());
    }

    void memoryTestIsPlayedThroughTheQuestionWindow()
    {
        // The colours of the sequence's letters, as the window paints and names them.
        QCOMPARE(ColourOfLetter(u'g'), QColor(0, 128, 0));
        QCOMPARE(ColourOfLetter(u'c'), QColor(128, 128, 128));
        QCOMPARE(ColourName(u'p'), QStringLiteral("fuchsia"));
        QCOMPARE(ColourName(QChar()), QStringLiteral("silver"));
        for (int i = 0; i < PaletteSize; ++i)
            QCOMPARE(memory->Palette[i]->accessibleName(), ColourName(PaletteLetters.at(i)));
        QCOMPARE(memory->Palette[0]->accessibleName(), QStringLiteral("blue"));
        race.questions().showHere(QStringLiteral("MT&&rgb&&rgb&&1"));
        QVERIFY(memory->isVisible());
        settle();   // the sequence is played
        QVERIFY(!question->isVisible());
        QCOMPARE(memory->storedSequence(), QStringLiteral("rgb"));
        QCOMPARE(memory->Answers[0]->shownLetter(), QChar(u'r'));
        QCOMPARE(memory->Answers[2]->accessibleName(), QStringLiteral("answer circle 3: blue"));
        QVERIFY(memory->Answers[3]->isHidden());
        QVERIFY(memory->Palette[0]->isHidden());
        QCOMPARE(memory->InfoBox->toPlainText(), QStringLiteral("MEMORIZE"));
        QVERIFY(!memory->SubmitBtn->isEnabled());
        QCOMPARE(memory->pos(), BottomCentre(game.screen.rect(), memory->frameGeometry().size()));

        QTest::mouseClick(memory->ReadyBtn, Qt::LeftButton);
        QVERIFY(!memory->Palette[9]->isHidden());
        QVERIFY(!memory->RememorizeBtn->isHidden());
        QCOMPARE(memory->Answers[0]->shownLetter(), QChar());
        // A wrong order: the memo says so and the circles are blank again.
        for (int index : {0, 1, 3})
            QTest::mouseClick(memory->Palette[index], Qt::LeftButton);
        QCOMPARE(memory->enteredColours(), QStringLiteral("bgr"));
        QVERIFY(memory->SubmitBtn->isEnabled());
        QTest::mouseClick(memory->SubmitBtn, Qt::LeftButton);
        QVERIFY(memory->isVisible());
        QCOMPARE(memory->InfoBox->toPlainText(), QStringLiteral("WRONG\nREPEAT"));
        QCOMPARE(memory->Answers[0]->shownLetter(), QChar());
        QCOMPARE(game.model.contestants[0].Score, 0);
        // Clear forgets the entries.
        QTest::mouseClick(memory->Palette[5], Qt::LeftButton);
        QTest::mouseClick(memory->ClearBtn, Qt::LeftButton);
        QCOMPARE(memory->enteredColours(), QString());
        // The right order; a release of any button enters a colour; extra clicks are ignored.
        QTest::mouseClick(memory->Palette[3], Qt::RightButton);
        QTest::mouseClick(memory->Palette[1], Qt::LeftButton);
        memory->Palette[0]->click();   // as the keyboard or a screen reader presses it
        QTest::mouseClick(memory->Palette[7], Qt::LeftButton);
        QCOMPARE(memory->enteredColours(), QStringLiteral("rgb"));
        QCOMPARE(memory->Answers[1]->accessibleName(), QStringLiteral("answer circle 2: green"));
        QTest::mouseClick(memory->SubmitBtn, Qt::LeftButton);
        QVERIFY(!memory->isVisible());
        QVERIFY(!question->isVisible());
        QCOMPARE(game.model.contestants[0].Score, 1);
        QCOMPARE(int(game.model.contestants[0].Confirmed), 1);
    }

    void memoryReplayAndSkip()
    {
        game.model.contestants[0].Progress = 24;
        game.model.contestants[0].Score = 2;
        race.questions().showHere(QStringLiteral("MT&&kwlac&&kwlac&&2"));
        QTest::mouseClick(memory->ReadyBtn, Qt::LeftButton);
        QTest::mouseClick(memory->Palette[5], Qt::LeftButton);
        QTest::mouseClick(memory->RememorizeBtn, Qt::LeftButton);   // plays the stored sequence again
        settle();
        QCOMPARE(memory->enteredColours(), QString());
        QCOMPARE(memory->Answers[4]->shownLetter(), QChar(u'c'));
        QVERIFY(!memory->ReadyBtn->isHidden());
        QTest::mouseClick(memory->SkipBtn, Qt::LeftButton);
        QVERIFY(!memory->isVisible());
        QCOMPARE(game.model.contestants[0].Progress, 12);
        QCOMPARE(game.model.contestants[0].Score, 1);

        // While "Re-Memorize" waits to play the sequence again, a whole sequence entered
        // before it cannot be submitted, and a skip is taken once: the window stays closed.
        race.questions().showHere(QStringLiteral("MT&&rgb&&rgb&&3"));
        QTest::mouseClick(memory->ReadyBtn, Qt::LeftButton);
        for (int index : {3, 1, 0})
            QTest::mouseClick(memory->Palette[index], Qt::LeftButton);
        QVERIFY(memory->SubmitBtn->isEnabled());
        QTimer::singleShot(0, memory, [this] { memory->SubmitBtn->click(); });
        QTest::mouseClick(memory->RememorizeBtn, Qt::LeftButton);
        settle();
        QCOMPARE(game.model.contestants[0].Score, 1);
        QVERIFY(memory->isVisible());
        QTest::mouseClick(memory->ReadyBtn, Qt::LeftButton);
        QTimer::singleShot(0, memory, [this] { memory->SkipBtn->click(); });
        QTest::mouseClick(memory->RememorizeBtn, Qt::LeftButton);
        settle();
        QVERIFY(!memory->isVisible());
        QCOMPARE(game.model.contestants[0].Progress, 6);
        QCOMPARE(game.model.contestants[0].Score, 0);

        // A flood of memory questions (a host's, or anyone's) plays one sequence at a
        // time, not one each: the one shown last.
        QString sequence;
        for (int n = 0; n < 1000; ++n) {
            sequence = QString(PaletteLetters.at(n % 10)) + PaletteLetters.at(n / 10 % 10);
            race.questions().showHere(QStringLiteral("MT&&%1&&%1&&%2").arg(sequence).arg(100 + n));
            QVERIFY(PendingWaits() <= 1);
        }
        settle();
        QCOMPARE(memory->Answers[1]->shownLetter(), sequence.at(1));
        QCOMPARE(memory->InfoBox->toPlainText(), QStringLiteral("MEMORIZE"));
        memory->close();

        // A window that goes in the middle of its playback or of "Re-Memorize" takes its
        // playback with it: nothing plays on into a window that is gone.
        for (bool replaying : {false, true}) {
            auto *going = new MemoryTestWindow(race.questions(), game.screen);
            going->StartTest(QStringLiteral("rgb"));
            if (replaying) {
                settle();
                going->ReadyBtnClick();
                going->RememorizeBtnClick();
            }
            QCOMPARE(PendingWaits(), 1);
            delete going;
            settle();
        }
    }

    void dexterityClickOnTheAnnouncerAnswers()
    {
        QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, true, "Announcer"));
        stage->move(0, 0, "Announcer", 0);
        QTRY_COMPARE_WITH_TIMEOUT(stage->position("Announcer"), QPoint(0, 0), 5000);
        race.questions().showHere(QStringLiteral("DX&&dexteritytest&&test&&1"));
        QCOMPARE(question->windowTitle(), QStringLiteral("CATCH"));
        QCOMPARE(question->Question->text(), QStringLiteral("CATCHP\nCLICKP"));
        QCOMPARE(game.model.dexterityCountdown, 2);
        QCOMPARE(game.model.dexterityJumps, 0);
        DexterityStep(game.model, game.settings.difficulty(), game.stage, game.screen, race.random());
        QCOMPARE(game.model.dexterityJumps, 0);
        DexterityStep(game.model, game.settings.difficulty(), game.stage, game.screen, race.random());
        QCOMPARE(game.model.dexterityJumps, 1);
        QCOMPARE(game.model.dexterityCountdown, 3);
        const QRect area = JumpArea(main->Difficulty->itemIndex(), game.screen.size());
        QTRY_VERIFY_WITH_TIMEOUT(stage->position("Announcer") != QPoint(0, 0), 5000);
        QVERIFY(area.contains(stage->position("Announcer")));
        // A contestant's click does nothing; a real click on the Announcer answers.
        race.questions().characterClicked(QStringLiteral("Player0"));
        QVERIFY(question->isVisible());
        QWidget *window = announcerWindow();
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 5000);   // the jump shows it
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(window->width() / 2, window->height() / 2));
        QVERIFY(!question->isVisible());
        QCOMPARE(game.model.dexterityCountdown, 0);
        QCOMPARE(game.model.contestants[0].Score, 1);
        QTRY_COMPARE_WITH_TIMEOUT(stage->position("Announcer"), QPoint(0, 0), 5000);
        // After the test a click does nothing.
        race.questions().characterClicked(QStringLiteral("Announcer"));
        QCOMPARE(game.model.contestants[0].Score, 1);
        stage->unload("Announcer");
    }

    void announcerUnloadedWhileItsClickIsReported()
    {
        QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, true, "Announcer"));
        stage->show(true, "Announcer");
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("DX&&dexteritytest&&test&&1"));
        QPointer<QWidget> window = announcerWindow();
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 5000);
        // The shutdown's unload comes while the click's "RB" report is being resent: the
        // window goes, the report ends normally.
        bool unloaded = false;
        QTimer poll;
        poll.setInterval(1);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!question->AnswerBtn->isEnabled() && !unloaded) {   // reporting
                stage->unload("Announcer");
                unloaded = true;
            }
        });
        poll.start();
        QTest::mouseClick(window.data(), Qt::LeftButton, Qt::NoModifier, QPoint(window->width() / 2, window->height() / 2));
        settle();
        poll.stop();
        QVERIFY(unloaded);
        QVERIFY(!stage->loaded("Announcer"));
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 5000);
        QVERIFY(!question->isVisible());
        QVERIFY(question->AnswerBtn->isEnabled());
    }

    void practiceRaceOfEveryPuzzleTypeFinishes_data()
    {
        QTest::addColumn<int>("gameType");
        for (int type = 1; type <= 5; ++type)
            QTest::addRow("game type %d", type) << type;
    }
    void practiceRaceOfEveryPuzzleTypeFinishes()
    {
        QFETCH(int, gameType);
        main->GameType->setItemIndex(gameType);
        QTimer player;
        player.setInterval(2);
        connect(&player, &QTimer::timeout, this, &TestQuestionWindow::answerEverything);
        player.start();
        race.start();
        QTRY_VERIFY_WITH_TIMEOUT(!race.inProgress(), 600000);
        player.stop();
        QCOMPARE(game.model.contestants[0].Score, 8);
        QCOMPARE(game.model.contestants[0].Progress, 96);
        QVERIFY(!game.session.raceRunning());
        QVERIFY(!question->isVisible());
        QVERIFY(!memory->isVisible());
        QCOMPARE(QFileInfo(QuestionFilePath()).size() % 259, 0);
        QVERIFY(QFileInfo(QuestionFilePath()).size() >= 8 * 259);
        game.model.shutdownCountdown = 0;
        UnloadRaceCharacters(game.stage);
    }

    void memoryWindowClosesWhenTheRaceEnds()
    {
        // A second contestant on this computer finishes while the memory test is open;
        // the player goes on answering it through the finish ceremony.
        game.roster.append({QStringLiteral("40001"), QStringLiteral("Sam"), QStringLiteral("Bolt.acs")});
        main->GameType->setItemIndex(5);
        game.session.raceRun().standings.finisher = -1;
        QTimer finisher;
        finisher.setInterval(2);
        bool seen = false, openInCeremony = false;
        int ceremonyTicks = 0;
        connect(&finisher, &QTimer::timeout, this, [&] {
            if (game.session.raceRun().standings.finisher < 0) {
                if (memory->isVisible() && !memory->InfoBox->toPlainText().isEmpty()) {
                    seen = true;
                    game.model.contestants[1].Score = 8;
                }
                return;
            }
            ++ceremonyTicks;
            openInCeremony = openInCeremony || memory->isVisible();
            answerEverything();
        });
        finisher.start();
        race.start();
        QTRY_VERIFY_WITH_TIMEOUT(!race.inProgress(), 600000);
        finisher.stop();
        QVERIFY(seen);
        QCOMPARE(game.session.raceRun().standings.finisher, 1);
        QVERIFY(ceremonyTicks > 10);
        QVERIFY(!openInCeremony);
        QCOMPARE(game.model.contestants[0].Score, 0);
        QVERIFY(!memory->isVisible());
        game.model.shutdownCountdown = 0;
        UnloadRaceCharacters(game.stage);
    }

    void dexterityTestEndsWithItsRace()
    {
        // A second contestant on this computer finishes while the player's dexterity
        // question is on show.
        game.roster.append({QStringLiteral("40001"), QStringLiteral("Sam"), QStringLiteral("Bolt.acs")});
        main->GameType->setItemIndex(4);
        QTimer finisher;
        finisher.setInterval(2);
        bool seen = false;
        connect(&finisher, &QTimer::timeout, this, [&] {
            if (question->isVisible() && game.model.dexterityCountdown > 0) {
                seen = true;
                game.model.contestants[1].Score = 8;
            }
        });
        finisher.start();
        race.start();
        QTRY_VERIFY_WITH_TIMEOUT(!race.inProgress(), 600000);
        finisher.stop();
        QVERIFY(seen);
        QCOMPARE(game.session.raceRun().standings.finisher, 1);
        // The test ended with the race: no more jumps, and a click answers nothing.
        QCOMPARE(game.model.dexterityCountdown, 0);
        const qint32 jumps = game.model.dexterityJumps;
        for (int tick = 0; tick < 6; ++tick)
            DexterityStep(game.model, game.settings.difficulty(), game.stage, game.screen, race.random());
        QCOMPARE(game.model.dexterityJumps, jumps);
        race.questions().characterClicked(QStringLiteral("Announcer"));
        QCOMPARE(game.model.contestants[0].Score, 0);
        game.model.shutdownCountdown = 0;
        UnloadRaceCharacters(game.stage);

        // Cancelled: "Cancel Game" and the host's "RC" withdraw the question, which ends
        // the test and closes the window; the click sends no report to the host.
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("DX&&dexteritytest&&test&&1"));
        QCOMPARE(game.model.dexterityCountdown, 2);
        QVERIFY(question->isVisible());
        race.stopHere();
        QVERIFY(!question->isVisible());
        QCOMPARE(game.model.dexterityCountdown, 0);
        race.questions().characterClicked(QStringLiteral("Announcer"));
        QVERIFY(withCode(host->texts(host->drain(50)), "RB").isEmpty());
    }

    void titleBarCloseKeepsTheQuestion()
    {
        // Closing from the title bar or with Alt+F4 is refused: the question stays on show
        // and counts nothing; it can still be answered.
        game.model.contestants[0].Progress = 24;
        game.model.contestants[0].Score = 2;
        race.questions().showHere(QStringLiteral("MA&&9&&4 + 5&&1"));
        QVERIFY(!closeFromWindowManager(question));
        QVERIFY(question->isVisible());
        QCOMPARE(game.model.contestants[0].Score, 2);
        QCOMPARE(game.model.contestants[0].Progress, 24);
        type(QStringLiteral("9"));
        QCOMPARE(game.model.contestants[0].Score, 3);
        // The memory window the same way.
        race.questions().showHere(QStringLiteral("MT&&rgb&&rgb&&2"));
        QVERIFY(!closeFromWindowManager(memory));
        QVERIFY(memory->isVisible());
        QCOMPARE(game.model.contestants[0].Score, 3);
        // A question from the host: no report either way.
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("MA&&4&&2 + 2&&3"));
        QVERIFY(!closeFromWindowManager(question));
        QVERIFY(question->isVisible());
        // The program's own closes (race end, cancel, "RC") still close, without a skip.
        question->close();
        memory->close();
        QVERIFY(!question->isVisible());
        QVERIFY(!memory->isVisible());
        QCOMPARE(game.model.contestants[0].Score, 3);
        QCOMPARE(game.model.contestants[0].Progress, 24);
        const QList<QByteArray> sent = host->texts(host->drain(50));
        QVERIFY(withCode(sent, "RK").isEmpty());
        QVERIFY(withCode(sent, "RB").isEmpty());
    }

    void wordScrambleTakesEveryListedWordOfItsLetters()
    {
        QVERIFY(folder->writeFile("wlist.lst", "arts rats star moon \r\n"));
        race.questions().showHere(QStringLiteral("WS&&star&&tsra&&1"));
        for (const QString &wrong : {QStringLiteral("tsar"), QStringLiteral("moon"), QStringLiteral("rats ")}) {
            type(wrong);
            QVERIFY2(!question->WrongLabel->isHidden(), qPrintable(wrong));
        }
        type(QStringLiteral("Rats"));
        QVERIFY(!question->isVisible());
        QCOMPARE(game.model.contestants[0].Score, 1);
        // Reported to the host as the word the host put, with the question's number.
        host->answer("RB", "AKHost", GamePortNumber);
        race.questions().showFromHost(HostPeerAddress, QStringLiteral("WS&&star&&tsra&&2"));
        type(QStringLiteral("arts"));
        QVERIFY(!question->isVisible());
        const QList<QByteArray> reports = withCode(host->texts(host->drain(100)), "RB");
        QVERIFY(!reports.isEmpty());
        QCOMPARE(reports.first(), QByteArray("RBRobin&&50005&&star&&2"));
        QFile::remove(ProgramFolder() + "wlist.lst");
    }

    void jumpAreasAndWaits()
    {
        const QSize screen(1280, 1024);
        QCOMPARE(JumpArea(0, screen), QRect(320, 256, 640, 512));
        QCOMPARE(JumpArea(1, screen), QRect(60, 50, 1160, 924));
        QCOMPARE(JumpArea(2, screen), QRect(0, 0, 1250, 994));
        QCOMPARE(TicksAfterJump(1), 3);
        QCOMPARE(TicksAfterJump(20), 3);
        QCOMPARE(TicksAfterJump(21), 4);
        QCOMPARE(TicksAfterJump(50), 4);
        QCOMPARE(TicksAfterJump(51), 5);
        // The Announcer's jumps land inside the area of the selected difficulty; on
        // "Difficult" some land in the margins that "Moderate" keeps free.
        QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, true, "Announcer"));
        const QRect moderate = JumpArea(1, game.screen.size());
        for (int difficulty : {0, 2}) {
            main->Difficulty->setItemIndex(difficulty);
            const QRect area = JumpArea(difficulty, game.screen.size());
            bool inMargin = false;
            game.model.dexterityJumps = 0;
            for (int jump = 1; jump <= 60; ++jump) {
                const QPoint before = stage->position("Announcer");
                game.model.dexterityCountdown = 1;
                DexterityStep(game.model, game.settings.difficulty(), game.stage, game.screen, race.random());
                QCOMPARE(game.model.dexterityJumps, jump);
                QTRY_VERIFY_WITH_TIMEOUT(stage->position("Announcer") != before, 5000);
                const QPoint at = stage->position("Announcer");
                QVERIFY2(area.contains(at), qPrintable(QStringLiteral("%1,%2").arg(at.x()).arg(at.y())));
                inMargin = inMargin || !moderate.contains(at);
                // The wait after jumps 20, 21 and 51.
                if (jump == 20)
                    QCOMPARE(game.model.dexterityCountdown, 3);
                if (jump == 21)
                    QCOMPARE(game.model.dexterityCountdown, 4);
                if (jump == 51)
                    QCOMPARE(game.model.dexterityCountdown, 5);
            }
            QCOMPARE(inMargin, difficulty == 2);
        }
        stage->unload("Announcer");
        main->Difficulty->setItemIndex(1);
        game.model.dexterityCountdown = 0;
        DexterityStep(game.model, game.settings.difficulty(), game.stage, game.screen, race.random());
        QCOMPARE(game.model.dexterityCountdown, 0);   // no test running
        QCOMPARE(game.model.dexterityJumps, 60);
    }
};

QTEST_MAIN(TestQuestionWindow)
#include "tst_question_window.moc"
