// The memory test's window and the dexterity test's Announcer, with the real windows and
// stage (QuestionWindows.h): what the windows show of the memory test (its rules are
// tests/games/tst_memory_test), the Announcer's click and jumps, and both ending with
// their race.
#include "QuestionWindows.h"

class TestPuzzleWindows : public QObject, protected QuestionWindows
{
    Q_OBJECT
public:
    TestPuzzleWindows() : QuestionWindows(4552, "127.0.0.73", QStringLiteral("127.0.0.74")) {}

private slots:
    void initTestCase() { setUp(); }
    void init() { reset(); }
    void cleanupTestCase() { tearDown(); }

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
        QVERIFY(memory->ReadyBtn->isHidden());
        QCOMPARE(memory->Answers[0]->shownLetter(), QChar());
        // A wrong order: the memo says so and the circles are blank again.
        for (int index : {0, 1, 3})
            QTest::mouseClick(memory->Palette[index], Qt::LeftButton);
        QVERIFY(memory->SubmitBtn->isEnabled());
        QTest::mouseClick(memory->SubmitBtn, Qt::LeftButton);
        QVERIFY(memory->isVisible());
        QCOMPARE(memory->InfoBox->toPlainText(), QStringLiteral("WRONG\nREPEAT"));
        QCOMPARE(memory->Answers[0]->shownLetter(), QChar());
        QVERIFY(!memory->SubmitBtn->isEnabled());
        // The right order; a release of any button enters a colour.
        QTest::mouseClick(memory->Palette[3], Qt::RightButton);
        QTest::mouseClick(memory->Palette[1], Qt::LeftButton);
        memory->Palette[0]->click();   // as the keyboard or a screen reader presses it
        QCOMPARE(memoryTest->entries(), QStringLiteral("rgb"));
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
        QVERIFY(memory->Answers[0]->isHidden());
        QVERIFY(memory->Palette[0]->isHidden());
        settle();
        QCOMPARE(memory->Answers[4]->shownLetter(), QChar(u'c'));
        QVERIFY(!memory->ReadyBtn->isHidden());
        QTest::mouseClick(memory->SkipBtn, Qt::LeftButton);
        QVERIFY(!memory->isVisible());
        QCOMPARE(game.model.contestants[0].Progress, 12);
        QCOMPARE(game.model.contestants[0].Score, 1);
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

QTEST_MAIN(TestPuzzleWindows)
#include "tst_puzzle_windows.moc"
