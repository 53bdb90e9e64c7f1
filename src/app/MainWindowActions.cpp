// The main window's handlers: start-up checks, play modes, game type, and the buttons.
#include "MainWindow.h"

#include "SkinFrame.h"
#include "DexterityTest.h"
#include "GameMessages.h"
#include "HelpWindow.h"
#include "SingleInstance.h"
#include "GameTransport.h"
#include "MessageBoxes.h"
#include "RaceMusic.h"
#include "UserOptions.h"
#include "Phrases.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "RaceStart.h"
#include "RadioGroup.h"
#include "RosterList.h"
#include "TickLog.h"
#include "Utilities.h"
#include "records.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>


bool MainWindow::FormCreate(const QStringList &arguments)
{
    const QString argument = arguments.value(1);
    if (argument.isEmpty()) {
        MessageBeep(BeepKind::Error);
        // The program ends once the box is answered.
        ShowMessageBox(BoxKind::Error, QString::fromLatin1(MissingArgumentMessage), [] { TerminateApplication(); });
        return false;
    }
    if (TheSingleInstance)
        TheSingleInstance->SetRestoreHook([this] { RestoreAndRaise(); });
    InviterUin = argument.left(InviterUinCapacity);
    InviterName.clear();
    Randomize();
    setWindowTitle(QStringLiteral("Hollyfrost Games 1.17"));
    Revlabel->setText(QStringLiteral("Rev 1.17"));
    Revlabel->setAccessibleName(Revlabel->text());
    Revlabel->adjustSize();
    Skin->LoadSkin(ProgramFolder() + QStringLiteral("GameSkin1.jpg"));
    RaceRunning = false;
    JoinedRace = false;
    return true;
}

void MainWindow::FormShow()
{
    LoadOptions();
    BuildOnlineBuddies();
    ActionType->focusItem();
}

void MainWindow::UpdatePlayControls()
{
    AddcharBtn->hide();
    ReqPlayBtn->hide();
    StartRace->hide();
    GameType->hide();
    CancelBtn->hide();
    InviteBtn->hide();
    Difficulty->setVisible(GameType->isVisibleTo(this));
    switch (ActionType->itemIndex()) {
    case JoinGame:
        ReqPlayBtn->show();
        break;
    case HostGame:
        StartRace->show();
        GameType->show();
        Difficulty->show();
        InviteBtn->show();
        break;
    case LocalRace:
        AddcharBtn->show();
        StartRace->show();
        break;
    case PracticeGame:
        StartRace->show();
        GameType->show();
        Difficulty->show();
        break;
    default:
        break;
    }
}

void MainWindow::ActionTypeClick()
{
    // The roster is about to change: a race in progress is cancelled first.
    AbandonRace();
    ForgetNetworkGame();
    UpdatePlayControls();
    const int mode = ActionType->itemIndex();
    if (mode < JoinGame || mode > PracticeGame)
        return;
    ResetContestantTable();
    if (mode == HostGame || mode == PracticeGame) {
        const Records::OptionsRecord &options = Records::Options;
        const int slot = AddContestant(options.UserName, QString::number(options.UserUin),
                                       NameOfPath(options.UserCharacterFile));
        ContestantTable[slot].Address.clear();
        ContestantTable[slot].Confirmed = 1;
        RosterChanged();
    } else if (mode == LocalRace) {
        GameType->setItemIndex(0);
    }
}

void MainWindow::showRoster()
{
    const int count = ContestantCount();
    while (Contestants->count() > count)
        delete Contestants->takeItem(Contestants->count() - 1);
    for (int slot = 0; slot < count; ++slot) {
        const QString text = ContestantItemText(slot);
        if (slot >= Contestants->count())
            Contestants->addItem(text);
        else if (Contestants->item(slot)->text() != text)
            Contestants->item(slot)->setText(text);
    }
    Contestants->viewport()->update();   // a slot's colour may have changed
}

void MainWindow::showRaceStep(RaceStep step)
{
    switch (step) {
    case RaceStep::Starting:
        InviteBtn->hide();
        StartRace->hide();
        break;
    case RaceStep::Opened:
        raise();
        activateWindow();
        StartMusic();
        break;
    case RaceStep::RoundsRunning:
        CancelBtn->show();
        break;
    case RaceStep::Cancelled:
        CancelBtn->hide();
        StopMusic();
        break;
    case RaceStep::Over:
        CancelBtn->hide();
        move(DesktopPoint(QPoint(ScreenSize().width() / 2 - width() / 2, 0)).x(), y());
        UpdatePlayControls();
        StopMusic();
        break;
    }
}

void MainWindow::GameTypeClick()
{
    if (GameType->itemIndex() == 0)
        Difficulty->setItemIndex(0);   // runs this handler once more when it changes
    if (!RaceRunning)
        SendGameDescription();
    InfoBox->append(LookupPhrase(QStringLiteral("Gt") + QString::number(GameType->itemIndex())));
    InfoBox->append(LookupPhrase(QStringLiteral("dl") + QString::number(Difficulty->itemIndex())));
}

void MainWindow::NewRaceBtnClick()
{
    AbandonRace();
    ForgetNetworkGame();
    ResetContestantTable();
    ActionType->setItemIndex(-1);
    GameType->setItemIndex(-1);
    UpdatePlayControls();
}

void MainWindow::ExitBtnClick()
{
    ExitBtn->setEnabled(false);
    if (RaceRunning)
        CancelBtn->click();
    close();
}

void MainWindow::HelpBtnClick()
{
    ShowHelpTopic(QStringLiteral("hpad10"));
}

void MainWindow::InfoBoxDblClick()
{
    InfoBox->clear();
}

void MainWindow::Label1Click()
{
    RegWriteText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Games"),
                 QStringLiteral("racing"), ProgramFilePath());
}

void MainWindow::raceTicker()
{
    Ticker->stop();
    Launch(raceTick());
}

Task<> MainWindow::raceTick()
{
    // The tick's waits (the commentary, the goodbye and unload steps) are steps of this
    // sequence; the ticker starts again only after them, so that ticks never overlap.
    TickInProgress = true;
    const QPointer<MainWindow> self(this);
    if (TickLogEnabled()) {
        // Ticks that run the commentary or the goodbye and unload steps wait on purpose.
        const bool waits = (RaceRunning && TurnIndex > 9 && CommentaryCycles >= 3)
                           || (!RaceRunning && (ShutdownCountdown == 16 || ShutdownCountdown == 6));
        QElapsedTimer clock;
        clock.start();
        co_await RaceTickerStep();
        RecordTick(clock.nsecsElapsed() / 1000, waits);
    } else {
        co_await RaceTickerStep();
    }
    DexterityStep();
    TickInProgress = false;
    if (self)
        Ticker->start();
    StartDeferredRace();   // "Start Game" pressed while this tick waited
}
