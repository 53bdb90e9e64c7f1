// The question window and the question round: typed questions shown and checked, the
// reports of answers and skips to a race host, the rounds that put the questions, and a
// practice race of every puzzle type answered through the windows (QuestionWindows.h).
#include "QuestionWindows.h"

class TestQuestionWindow : public QObject, protected QuestionWindows
{
    Q_OBJECT
public:
    TestQuestionWindow() : QuestionWindows(4542, "127.0.0.71", QStringLiteral("127.0.0.72")) {}

private slots:
    void initTestCase() { setUp(); }
    void init() { reset(); }
    void cleanupTestCase() { tearDown(); }

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
        connect(&player, &QTimer::timeout, this, [this] { answerEverything(); });
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
};

QTEST_MAIN(TestQuestionWindow)
#include "tst_question_window.moc"
