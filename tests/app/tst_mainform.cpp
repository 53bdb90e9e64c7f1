// The main window: its face at start, the refusal without an argument, the play modes,
// game type and difficulty, "New Game", "Exit", help and the small handlers.
#include "AppTestFolder.h"

#include "GameSession.h"
#include "HelpWindow.h"
#include "InviteList.h"
#include "MainWindow.h"
#include "PlayRequests.h"
#include "PlayControls.h"
#include "PlaySettingsRules.h"
#include "Race.h"
#include "MessageBoxes.h"
#include "RaceModel.h"
#include "RadioGroup.h"
#include "records.h"
#include "Roster.h"
#include "SkinFrame.h"
#include "TestGame.h"
#include "Utilities.h"

#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QLockFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// The boxes main hands the game (they go to the answerers below).
ScreenDialogs screenDialogs;

namespace {
struct Box {
    BoxKind kind;
    QString text;
};
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<AppTestFolder> folder;
    TestGame game;
    Race &race = game.race;   // the race the windows start and follow
    InviteList invites;
    PlayRequests playRequests{race, game.session, game.settings, game.roster, game.dialogs, invites, game.dispatcher};
    std::unique_ptr<MainWindow> form;
    QList<Box> boxes;

    QStringList memoLines() const { return form->InfoBox->toPlainText().split(u'\n', Qt::SkipEmptyParts); }

private slots:
    void initTestCase()
    {
        FollowPlaySettings(race, game.settings);   // the race's rules follow the settings
        folder = std::make_unique<AppTestFolder>(QStringList{"alpha.acs", "bravo.acs", "charlie.acs", "delta.acs"});
        SetMessageBoxAnswerer([this](BoxKind kind, const QString &text) { boxes.append({kind, text}); });
        game.dialogs.use(&screenDialogs);
    }

    void init()
    {
        boxes.clear();
        Records::Options = Records::OptionsRecord();
        Records::Options.UserName = QStringLiteral("Robin");
        Records::Options.UserUin = 40001;
        Records::Options.UserCharacterFile = QStringLiteral("C:\\Windows\\msagent\\chars\\bravo.acs");
        game.session.setRaceRunning(false);
        form = std::make_unique<MainWindow>(race, playRequests);
        QVERIFY(form->Start({QStringLiteral("hollyfrost-games"), QStringLiteral("40002")}));
    }

    void cleanup() { form.reset(); }

    void windowAtStart()
    {
        QCOMPARE(form->size(), QSize(442, 373));
        QVERIFY(form->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(form->windowTitle(), QStringLiteral("Hollyfrost Games 1.17"));
        QCOMPARE(form->RevisionLabel->text(), QStringLiteral("Rev 1.17"));
        QCOMPARE(form->palette().color(QPalette::Window), QColor(254, 185, 122));
        QCOMPARE(form->font().family(), QStringLiteral("MS Sans Serif"));
        // The skin lies underneath everything else.
        QCOMPARE(form->children().indexOf(form->Skin), 0);
        QCOMPARE(form->PlayModeGroup->geometry(), QRect(41, 35, 103, 125));
        QCOMPARE(form->Contestants->geometry(), QRect(37, 231, 209, 85));
        QCOMPARE(form->ExitBtn->geometry(), QRect(360, 317, 45, 22));
        QCOMPARE(form->BuddiesLabel->pos(), QPoint(298, 120));
        QCOMPARE(form->PlayModeGroup->itemIndex(), -1);
        QCOMPARE(form->GameType->itemIndex(), -1);
        QCOMPARE(form->Difficulty->itemIndex(), 1);
        for (QWidget *shown : std::initializer_list<QWidget *>{form->PlayModeGroup, form->BuddiesLabel, form->BuddyList,
                                                                form->Contestants, form->InfoBox, form->NewRaceBtn,
                                                                form->HelpBtn, form->ExitBtn, form->RevisionLabel})
            QVERIFY2(!shown->isHidden(), qPrintable(shown->accessibleName()));
        for (QWidget *hidden : std::initializer_list<QWidget *>{form->GameType, form->Difficulty, form->RequestPlayBtn,
                                                                 form->AddCharacterBtn, form->InviteBtn, form->CancelBtn,
                                                                 form->StartRace, form->UnloadBtn})
            QVERIFY2(hidden->isHidden(), qPrintable(hidden->accessibleName()));
        QCOMPARE(form->Contestants->accessibleName(), QStringLiteral("Game Contestants"));
        QCOMPARE(form->BuddyList->accessibleName(), QStringLiteral("Online Buddys"));
        QCOMPARE(form->InfoBox->accessibleName(), QStringLiteral("Game Type"));
        QCOMPARE(form->AddCharacterBtn->accessibleName(), QStringLiteral("Add Characters to Race"));
        QVERIFY(form->InfoBox->isReadOnly());
        QCOMPARE(form->BuddyList->model(), &invites);
        QVERIFY(!form->InviteBtn->icon().isNull());
    }

    // Before the refusal below: that ends the program, and every wait with it.
    void showReadsOptionsAndBuddies()
    {
        Records::OptionsRecord options;
        options.UserName = QStringLiteral("Kim");
        options.UserUin = 777;
        QVERIFY(folder->writeFile(QStringLiteral("hollyfro.opt"), Records::EncodeOptions(options)));
        invites.setBuddies({{QStringLiteral("stale"), QString()}});
        QVERIFY(folder->writeFile(QStringLiteral("online.txt"), QByteArray()));
        // The messenger holds the options file: the play modes wait for it, so the player
        // never goes into the roster without a name or as UIN 0.
        const int held = ::open(QFile::encodeName(folder->program() + QStringLiteral("hollyfro.opt")).constData(),
                                O_RDWR | O_CLOEXEC);
        QVERIFY(held >= 0);
        QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
        form->show();
        QVERIFY(!form->PlayModeGroup->isEnabled());
        QTest::mouseClick(form->PlayModeGroup->button(HostGame), Qt::LeftButton);
        QCOMPARE(form->PlayModeGroup->itemIndex(), -1);
        ::close(held);
        QTRY_VERIFY_WITH_TIMEOUT(form->PlayModeGroup->isEnabled(), 20000);
        QCOMPARE(Records::Options.UserName, QStringLiteral("Kim"));
        QCOMPARE(Records::Options.UserUin, 777);
        QCOMPARE(form->BuddyList->model()->rowCount(), 0);
        QVERIFY(!QFile::exists(folder->program() + QStringLiteral("online.txt")));
        // The window need not be active (offscreen it never is): the widget that gets the
        // focus when it becomes active is the one that counts.
        QCOMPARE(form->focusWidget(), form->PlayModeGroup->button(0));
        QTest::mouseClick(form->PlayModeGroup->button(HostGame), Qt::LeftButton);
        QVERIFY(form->Contestants->model()->index(0, 0).data().toString().startsWith(QStringLiteral("777\tKim\t")));

        // No options at all: nobody to be told apart on the network, so no joining or
        // hosting; the games played here remain.
        QFile::remove(folder->program() + QStringLiteral("hollyfro.opt"));
        form = std::make_unique<MainWindow>(race, playRequests);
        QVERIFY(form->Start({QStringLiteral("hollyfrost-games"), QStringLiteral("40002")}));
        form->show();
        QTRY_VERIFY(form->PlayModeGroup->isEnabled());
        QVERIFY(!form->PlayModeGroup->button(JoinGame)->isEnabled());
        QVERIFY(!form->PlayModeGroup->button(HostGame)->isEnabled());
        QVERIFY(form->PlayModeGroup->button(PracticeGame)->isEnabled());
        QVERIFY(form->PlayModeGroup->button(LocalRace)->isEnabled());
        QVERIFY(form->InfoBox->toPlainText().contains(QStringLiteral("UIN")));
    }

    void refusalWithoutArgument()
    {
        MainWindow second(race, playRequests);
        QVERIFY(!second.Start({QStringLiteral("hollyfrost-games")}));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, BoxKind::Error);
        QCOMPARE(boxes[0].text,
                 QStringLiteral("Hollyfrost Games Must be started from the \"Games\" button on the Send Tab of "
                                "Hollyfrost.\rIf you have just installed Hollyfrost Games, Exit and Restart Hollyfrost"));
        QVERIFY(ApplicationTerminating());
        QCOMPARE(second.windowTitle(), QStringLiteral("Hollyfrost Games"));
    }

    void argumentCutTo15()
    {
        game.session.setInviterName(QStringLiteral("someone"));
        QVERIFY(form->Start({QStringLiteral("x"), QStringLiteral("1234567890123456789")}));
        QCOMPARE(game.session.inviterUin(), QStringLiteral("123456789012345"));
        QVERIFY(game.session.inviterName().isEmpty());
        QVERIFY(!game.session.raceRunning() && !game.session.joinedRace());
    }

    void playModeControlsFollowTheTable()
    {
        // Each mode shows what its row of the table (PlayControls) says, and hides "Cancel Game".
        for (int mode = NoPlayMode; mode <= PracticeGame; ++mode) {
            form->CancelBtn->show();   // a race would have shown it; every mode hides it again
            form->PlayModeGroup->setItemIndex(mode);
            form->UpdatePlayControls();
            const PlayControlSet shown = ControlsOf(PlayMode(mode));
            QCOMPARE(form->RequestPlayBtn->isHidden(), !shown.requestPlay);
            QCOMPARE(form->AddCharacterBtn->isHidden(), !shown.addCharacters);
            QCOMPARE(form->StartRace->isHidden(), !shown.startGame);
            QCOMPARE(form->GameType->isHidden(), !shown.gameType);
            QCOMPARE(form->Difficulty->isHidden(), !shown.difficulty);
            QCOMPARE(form->InviteBtn->isHidden(), !shown.invite);
            QVERIFY(form->CancelBtn->isHidden());
        }
    }

    void localRacePicksRandomRaceAndEasy()
    {
        form->PlayModeGroup->button(2)->click();
        QCOMPARE(form->PlayModeGroup->itemIndex(), 2);
        QCOMPARE(form->GameType->itemIndex(), 0);
        QCOMPARE(form->Difficulty->itemIndex(), 0);
        QVERIFY(!form->AddCharacterBtn->isHidden());
        QVERIFY(!form->StartRace->isHidden());
        QVERIFY(form->GameType->isHidden());
        QVERIFY(form->Difficulty->isHidden());
        QCOMPARE(form->Contestants->model()->rowCount(), 0);
        // The nested run for the difficulty change describes the game first, then the
        // outer run describes it again.
        QCOMPARE(memoLines(), QStringList({"game type 0", "difficulty 0", "game type 0", "difficulty 0"}));
        // The session holds what the window shows, and the window follows the session.
        PlaySettings &settings = game.settings;
        QCOMPARE(settings.playMode(), LocalRace);
        QCOMPARE(settings.gameType(), RandomRaceType);
        QCOMPARE(settings.difficulty(), Easy);
        // Another difficulty picked for a Random Race: the rule puts Easy back, and the
        // group shows Easy rather than putting the pick back against the rule.
        form->Difficulty->button(Difficult)->click();
        QCOMPARE(settings.difficulty(), Easy);
        QCOMPARE(form->Difficulty->itemIndex(), int(Easy));
        settings.setPlayMode(NoPlayMode);
        QCOMPARE(form->PlayModeGroup->itemIndex(), -1);
        form->GameType->setItemIndex(3);
        QCOMPARE(settings.gameType(), SimpleMathType);
    }

    void gameTypeDescribesChoice()
    {
        form->PlayModeGroup->setItemIndex(3);
        form->InfoBoxDblClick();
        form->GameType->button(3)->click();
        QCOMPARE(memoLines(), QStringList({"game type 3", "difficulty 1"}));
        form->Difficulty->setItemIndex(2);
        QCOMPARE(memoLines().mid(2), QStringList({"game type 3", "difficulty 2"}));
        form->Difficulty->setItemIndex(2);   // no change: no second description
        QCOMPARE(memoLines().size(), 4);
        form->InfoBoxDblClick();
        QVERIFY(form->InfoBox->toPlainText().isEmpty());
    }

    void longDescriptionShowsItsStart()
    {
        // Descriptions longer than the box: each shows from its first line, not scrolled to its end.
        const QString phrases = folder->program() + QStringLiteral("stdtalk.lst");
        const auto restore = qScopeGuard([&phrases] {
            QFile::remove(phrases);
            QFile::copy(QFileInfo(phrases).path() + QStringLiteral("/stdtalk.bak"), phrases);
        });
        const QByteArray words = QByteArray(" and then some more words").repeated(8);
        QVERIFY(folder->writeFile(QStringLiteral("stdtalk.lst"), "Gt3 Start of type" + words + "\r\ndl1 One" + words +
                                                                    "\r\ndl2 Two" + words + "\r\n"));
        form->show();
        const auto firstLineShown = [this](const char *start) {
            const QTextCursor top = form->InfoBox->cursorForPosition(QPoint(form->InfoBox->viewport()->width() / 2, 1));
            return top.block().text().startsWith(QLatin1String(start)) &&
                   top.block().layout()->lineForTextPosition(top.positionInBlock()).lineNumber() == 0;
        };
        form->PlayModeGroup->setItemIndex(3);
        form->GameType->button(3)->click();
        QVERIFY(form->InfoBox->verticalScrollBar()->maximum() > 0);
        QVERIFY(firstLineShown("Start of type"));
        form->Difficulty->setItemIndex(2);
        QVERIFY(firstLineShown("Start of type"));
        QCOMPARE(memoLines().filter(QStringLiteral("and then some more words")).size(), 4);   // earlier ones stay
        QVERIFY(form->InfoBox->verticalScrollBar()->value() > 0);
    }

    void hostAndPracticePutTheUserFirst_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("host") << 1;
        QTest::newRow("practice") << 3;
    }

    void hostAndPracticePutTheUserFirst()
    {
        QFETCH(int, mode);
        game.model.contestants[0].Address = QStringLiteral("10.0.0.9");
        game.model.contestants[3].Score = 5;
        game.roster.append({QStringLiteral("1"), QStringLiteral("Old"), QStringLiteral("alpha.acs")});
        form->PlayModeGroup->button(mode)->click();
        QCOMPARE(form->Contestants->model()->rowCount(), 1);
        QCOMPARE(form->Contestants->model()->index(0, 0).data().toString(), QStringLiteral("40001\tRobin\tbravo.acs"));
        QCOMPARE(game.model.contestants[0].Uin, QStringLiteral("40001"));
        QCOMPARE(game.model.contestants[0].CharacterFile, QStringLiteral("bravo.acs"));
        QVERIFY(game.model.contestants[0].Address.isEmpty());
        QCOMPARE(game.model.contestants[0].Confirmed, quint8(1));
        QCOMPARE(game.model.contestants[3].Score, 0);
        // Picking the mode again starts the roster over.
        form->PlayModeGroup->setItemIndex(0);
        form->PlayModeGroup->button(mode)->click();
        QCOMPARE(form->Contestants->model()->rowCount(), 1);
    }

    void joinEmptiesTheRoster()
    {
        form->PlayModeGroup->button(3)->click();
        form->PlayModeGroup->button(0)->click();
        QCOMPARE(form->Contestants->model()->rowCount(), 0);
        QVERIFY(game.model.contestants[0].Uin.isEmpty());
    }

    void newGameClearsEverything()
    {
        form->PlayModeGroup->button(1)->click();
        form->GameType->button(2)->click();
        const int memoBefore = memoLines().size();
        form->NewRaceBtn->click();
        QCOMPARE(form->PlayModeGroup->itemIndex(), -1);
        QCOMPARE(form->GameType->itemIndex(), -1);
        QCOMPARE(form->Contestants->model()->rowCount(), 0);
        QVERIFY(game.model.contestants[0].Uin.isEmpty());
        QCOMPARE(memoLines().size(), memoBefore);   // clearing a selection describes nothing
        for (QWidget *w : std::initializer_list<QWidget *>{form->RequestPlayBtn, form->AddCharacterBtn, form->StartRace,
                                                            form->GameType, form->Difficulty, form->InviteBtn,
                                                            form->CancelBtn})
            QVERIFY(w->isHidden());
        // The buttons are really unchecked, so the same mode can be picked again.
        form->PlayModeGroup->button(1)->click();
        QCOMPARE(form->PlayModeGroup->itemIndex(), 1);
        QCOMPARE(form->Contestants->model()->rowCount(), 1);
    }

    void exitClosesTheWindow()
    {
        // Exit closes the window, race or no race: the program's leaving (main connects
        // closed to LeaveGame) cancels a race in progress and tells a hosted race's joiners.
        int closes = 0;
        connect(form.get(), &MainWindow::closed, this, [&] { ++closes; });
        form->show();
        game.session.setRaceRunning(true);
        form->ExitBtnClick();
        game.session.setRaceRunning(false);
        QCOMPARE(closes, 1);
        QVERIFY(!form->ExitBtn->isEnabled());
        QVERIFY(!form->isVisible());
    }

    void exitWithoutRaceDoesNotCancel()
    {
        int cancels = 0;
        connect(form->CancelBtn, &QPushButton::clicked, this, [&] { ++cancels; });
        form->ExitBtnClick();
        QCOMPARE(cancels, 0);
    }

    void helpOpensAtItsAnchor()
    {
        form->HelpBtn->click();
        QVERIFY(boxes.isEmpty());
        HelpWindow *help = form->helpWindow();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QCOMPARE(help->Browser->source().fragment(), QStringLiteral("hpad10"));
        QVERIFY(help->Browser->toPlainText().contains(QStringLiteral("Getting started")));
        QVERIFY(help->Browser->toPlainText().contains(QStringLiteral("Word Scramble")));
        // Opening it again reuses the one window.
        form->HelpBtnClick();
        QCOMPARE(form->helpWindow(), help);
        // The language suffix picks the pages of its language; one without pages gets English.
        QFile french(folder->program() + QStringLiteral("help/index-fr.html"));
        QVERIFY(french.open(QIODevice::WriteOnly));
        french.write("<html><body><h2><a name=\"hpad10\"></a>Pour commencer</h2></body></html>");
        french.close();
        Records::Options.LanguageSuffix = QStringLiteral("-fr");
        form->HelpBtnClick();
        QVERIFY(help->Browser->toPlainText().contains(QStringLiteral("Pour commencer")));
        Records::Options.LanguageSuffix = QStringLiteral("-de");
        form->HelpBtnClick();
        QVERIFY(help->Browser->toPlainText().contains(QStringLiteral("Getting started")));
    }

    void missingHelpIsReported()
    {
        const QString page = folder->program() + QStringLiteral("help/index.html");
        const QString moved = page + QStringLiteral(".away");
        QVERIFY(QFile::rename(page, moved));
        form->HelpBtnClick();
        QVERIFY(QFile::rename(moved, page));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, BoxKind::Error);
        QVERIFY(!form->helpWindow());
    }

    void buddiesLabelTellsTheMessengerWhereTheGameIs()
    {
        // The messenger holds the registry file: the click returns at once, and the value
        // is written once the file is free.
        QDir().mkpath(QFileInfo(RegistryFilePath()).absolutePath());
        QLockFile held(RegistryFilePath() + QStringLiteral(".lock"));
        QVERIFY(held.tryLock(0));
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(form->BuddiesLabel, Qt::LeftButton);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QTest::qWait(50);
        QVERIFY(RegReadText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Games"),
                            QStringLiteral("racing")).isEmpty());
        held.unlock();
        QTRY_COMPARE_WITH_TIMEOUT(RegReadText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Games"),
                                              QStringLiteral("racing")),
                                  ProgramFilePath(), 15000);
    }

    void timerKeepsRunningAfterItsTick()
    {
        race.ticker().tickNow();
        QVERIFY(race.ticker().isActive());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainform.moc"
