#include "RaceStart.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "MessageBoxes.h"
#include "Phrases.h"
#include "QuestionRound.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "records.h"
#include "Roster.h"
#include "Stage.h"
#include "Utilities.h"

#include <QTimer>

#include <functional>
#include <utility>

namespace {

const QString Announcer = QStringLiteral("Announcer");

bool raceInProgress = false;
bool raceAbandoned = false;
bool startCancelled = false;   // cancelled before its rounds began: it runs none
int racePlayMode = NoPlayMode;   // the play mode the race was started in
std::function<void()> deferredStart;   // a start asked for while one could not begin

// Marks one race from "Start Game" to the end of its clean-up.
struct RaceScope
{
    explicit RaceScope(int mode)
    {
        raceInProgress = true;
        raceAbandoned = false;
        startCancelled = false;
        racePlayMode = mode;
    }
    ~RaceScope()
    {
        raceInProgress = false;
        raceAbandoned = false;
        startCancelled = false;
        StartDeferredRace();
    }
};

} // namespace

bool RaceInProgress()
{
    return raceInProgress;
}

void CancelRaceStart()
{
    if (raceInProgress && !GameSession::current().raceRunning())
        startCancelled = true;
}

void AbandonRace()
{
    if (!raceInProgress || raceAbandoned)
        return;
    raceAbandoned = true;
    const bool hostChangedMode = racePlayMode == HostGame && CurrentPlayMode() != HostGame;
    CancelRace();
    if (hostChangedMode)   // the joiners still wait for the host's cancel
        Launch(CancelJoiners());
}

void StartDeferredRace()
{
    if (!deferredStart || raceInProgress || TickInProgress)
        return;
    QTimer::singleShot(0, &GameSession::current(), std::exchange(deferredStart, {}));
}

namespace {

// The race of "Start Game" in the given play mode, from the roster's presentation to
// its clean-up.
Task<> hostedRace(int mode)
{
    RaceScope race(mode);
    ShutdownCountdown = 0;
    GameSession::current().setRaceRunning(false);
    UnloadRaceCharacters();
    GameSession::current().announce(RaceStep::Starting);
    if (mode == HostGame) {
        co_await SendRoster();
        co_await SendStartRace();
    }
    co_await PresentContestants();
    co_await Wait(mode == PracticeGame ? 1000 : 2000);
    co_await RunRace();
}

Task<> joinedRace()
{
    RaceScope race(JoinGame);
    GameSession::current().setJoinedRace(true);
    co_await PresentContestants();
    co_await Wait(2000);
    co_await RunRace();
}

} // namespace

void StartRaceClick()
{
    // A race on its way: starting here would run two at once. After a tick's waits or
    // an abandoned race the start follows at once.
    if (raceInProgress && !raceAbandoned) {
        MessageBeep(BeepKind::Error);
        return;
    }
    if (raceInProgress || TickInProgress) {
        deferredStart = StartRaceClick;
        return;
    }
    deferredStart = {};
    const int mode = CurrentPlayMode();
    if (ContestantCount() < 2 && mode != PracticeGame) {
        MessageBeep(BeepKind::Error);
        ShowMessageBox(BoxKind::Information, QStringLiteral("You need some contestants first"));
        return;
    }
    if (CurrentGameType() < 0) {
        MessageBeep(BeepKind::Error);
        ShowMessageBox(BoxKind::Error, QStringLiteral("Please select a Game Type First"));
        return;
    }
    if (mode != HostGame && mode != LocalRace && mode != PracticeGame) {
        MessageBeep(BeepKind::Error);
        return;
    }
    // The scope is taken now, so that a second click before the first wait is refused.
    raceInProgress = true;
    Launch(hostedRace(mode));
}

void StartJoinedRace()
{
    // The host's resends may arrive during the waits: the race starts once.
    // Without a roster nobody could move and the race would never end.
    const GameSession &session = GameSession::current();
    if (session.joinedRace() || session.raceRunning() || (raceInProgress && !raceAbandoned) || ContestantCount() < 1)
        return;
    if (raceInProgress || TickInProgress) {
        deferredStart = StartJoinedRace;
        return;
    }
    raceInProgress = true;
    Launch(joinedRace());
}

Task<> PresentContestants()
{
    GameSession::current().announce(RaceStep::TrackOpened);
    const int mode = CurrentPlayMode();
    LoadCharacter(10, ProgramFolder() + GameFile::AnnouncerCharacter, false, true, Announcer);
    MoveCharacter(ScreenCentre().x(), ScreenCentre().y(), Announcer, 0);
    if (mode != PracticeGame) {
        co_await WaitForAudio();
        SpeakText(LookupPhrase(QStringLiteral("we1")), Announcer);
        co_await Wait(3000);
        co_await WaitForAudio();
    }
    for (int slot = 0; slot < ContestantCount() && slot < MaxContestants && !raceAbandoned; ++slot) {
        const ContestantItemFields fields = ContestantFields(slot);
        QString path = WindowsFolder() + QStringLiteral("MSagent\\chars\\") + fields.CharacterFile;
        if (!FileExists(path) || path == Records::Options.UserCharacterFile)
            path = RandomFreeCharacter();
        if (path.isEmpty())
            continue;
        const QString identity = PlayerIdentity(slot);
        LoadCharacter(10, path, false, false, identity);
        ShowCharacter(true, identity);
        MoveCharacter(0, slot * RowHeight(), identity, 0);
        DoAction(QStringLiteral("greet"), identity);
        co_await WaitForAudio();
        if (mode == LocalRace)
            SpeakText(LookupPhrase(QStringLiteral("rs2")) + u' ' + WithoutExtension(fields.CharacterFile), identity);
        else
            SpeakText(LookupPhrase(QStringLiteral("rs1")) + u' ' + fields.PlayerName, identity);
        co_await Wait(2500);
    }
    co_await WaitForAudio();
    for (int slot = 0; slot < ContestantCount(); ++slot)
        DoAction(QStringLiteral("lookleft"), PlayerIdentity(slot));
    MoveCharacter(0, 0, Announcer, 100);
}

Task<> RunCountdown()
{
    GameSession &session = GameSession::current();
    session.announceCountdown(9);   // the window appears with the first number
    for (int n = 9; n >= 0; --n) {
        co_await Wait(500);
        if (raceAbandoned || startCancelled)   // no race is left to start
            break;
        session.announceCountdown(n);
    }
    session.announceCountdown(CountdownOver);
}

Task<> RunRace()
{
    GameSession::current().announce(RaceStep::TrackOpened);
    WinIndex = PlaceIndex = ShowIndex = 0;
    QuestionCountdown = 2;
    if (CurrentPlayMode() != PracticeGame && !raceAbandoned && !startCancelled) {
        DoAction(QStringLiteral("postcall"), Announcer);
        co_await Wait(7500);
        co_await RunCountdown();
        DoAction(QStringLiteral("startgate"), Announcer);
    }
    GameSession::current().announce(RaceStep::Opened);
    DeleteGameFile(ProgramFolder() + GameFile::Questions);
    ResetQuestionRound();   // the new race's first question may repeat the last race's
    // A race abandoned while the characters were presented runs no rounds: its roster
    // is gone. Nor does one cancelled before its rounds began: nothing would end it. Nor
    // one whose program is ending (its windows closed while the contestants were shown).
    if (!raceAbandoned && !startCancelled && !ApplicationTerminating()) {
        GameSession::current().setRaceRunning(true);
        GameSession::current().announce(RaceStep::RoundsRunning);
        for (ContestantRecord &record : ContestantTable)
            record.Progress = 0;
        while (co_await RaceRound()) {
        }
    }
    GameSession::current().setRaceRunning(false);
    WithdrawQuestion();   // a memory test still open has no race left to answer for
    if (!raceAbandoned)   // else the play mode is the one the user has just picked
        GameSession::current().setPlayMode(NoPlayMode);
    GameSession::current().announce(RaceStep::Over);   // the race track goes too
    ShutdownCountdown = 50;
}

Task<> CancelJoiners()
{
    SendCancel();
    co_await Wait(500);
    SendCancel();
}

void StopRaceHere()
{
    CancelRaceStart();
    GameSession::current().setRaceRunning(false);
    GameSession::current().announce(RaceStep::Cancelled);
    WithdrawQuestion();
}

void CancelRace()
{
    StopRaceHere();
    if (CurrentPlayMode() == HostGame)
        Launch(CancelJoiners());
    DexterityCountdown = 0;
    MoveCharacter(0, 0, Announcer, 0);
}
