// The main window's handlers: start-up checks, play modes, game type, and the buttons.
#include "MainUnit.h"

#include "CoolForm.h"
#include "DexterityTest.h"
#include "GameMessages.h"
#include "HelpUnit.h"
#include "InstanceManager_unit.h"
#include "GameTransport.h"
#include "MessageBoxes.h"
#include "MusicUnit.h"
#include "OptionsUnit.h"
#include "Phrases.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "RaceStart.h"
#include "RadioGroup.h"
#include "RosterUnit.h"
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


bool TMainForm::FormCreate(const QStringList &arguments)
{
    const QString argument = arguments.value(1);
    if (argument.isEmpty()) {
        MessageBeep(BeepKind::Error);
        // The program ends once the box is answered.
        ShowMessageBox(BoxKind::Error, QString::fromLatin1(MissingArgumentMessage), [] { TerminateApplication(); });
        return false;
    }
    if (InstanceManager)
        InstanceManager->SetRestoreHook([this] { RestoreAndRaise(); });
    InviterUin = argument.left(InviterUinCapacity);
    InviterName.clear();
    Randomize();
    setWindowTitle(QStringLiteral("Hollyfrost Games 1.17"));
    Revlabel->setText(QStringLiteral("Rev 1.17"));
    Revlabel->setAccessibleName(Revlabel->text());
    Revlabel->adjustSize();
    CoolForm1->LoadSkin(ProgramFolder() + QStringLiteral("GameSkin1.jpg"));
    RaceRunning = false;
    JoinedRace = false;
    return true;
}

void TMainForm::FormShow()
{
    LoadOptions();
    BuildOnlineBuddies();
    ActionType->focusItem();
}

void TMainForm::UpdatePlayControls()
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

void TMainForm::ActionTypeClick()
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

void TMainForm::showRoster()
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

void TMainForm::showRaceStep(RaceStep step)
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

void TMainForm::GameTypeClick()
{
    if (GameType->itemIndex() == 0)
        Difficulty->setItemIndex(0);   // runs this handler once more when it changes
    if (!RaceRunning)
        SendGameDescription();
    Memo1->append(LookupPhrase(QStringLiteral("Gt") + QString::number(GameType->itemIndex())));
    Memo1->append(LookupPhrase(QStringLiteral("dl") + QString::number(Difficulty->itemIndex())));
}

void TMainForm::NewRaceBtnClick()
{
    AbandonRace();
    ForgetNetworkGame();
    ResetContestantTable();
    ActionType->setItemIndex(-1);
    GameType->setItemIndex(-1);
    UpdatePlayControls();
}

void TMainForm::ExitBtnClick()
{
    ExitBtn->setEnabled(false);
    if (RaceRunning)
        CancelBtn->click();
    close();
}

void TMainForm::HelpBtnClick()
{
    ShowHelpTopic(QStringLiteral("hpad10"));
}

void TMainForm::Memo1DblClick()
{
    Memo1->clear();
}

void TMainForm::Label1Click()
{
    RegWriteText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Games"),
                 QStringLiteral("racing"), ProgramFilePath());
}

void TMainForm::Timer1Timer()
{
    Timer1->stop();
    Launch(raceTick());
}

Task<> TMainForm::raceTick()
{
    // The tick's waits (the commentary, the goodbye and unload steps) are steps of this
    // sequence; the ticker starts again only after them, so that ticks never overlap.
    TickInProgress = true;
    const QPointer<TMainForm> self(this);
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
        Timer1->start();
    StartDeferredRace();   // "Start Game" pressed while this tick waited
}
