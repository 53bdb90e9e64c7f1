#include "RaceStart.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "Phrases.h"
#include "QuestionRound.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "records.h"
#include "Roster.h"
#include "Utilities.h"

#include <QTimer>

#include <functional>
#include <utility>

namespace {

const QString Announcer = QStringLiteral("Announcer");

// The race of this copy, from "Start Game" (or a joiner's start) to the end of its
// clean-up, and a start asked for while one could not begin.
struct RaceState {
    bool inProgress = false;
    bool abandoned = false;       // its roster changed under it (a new play mode, "New Game")
    int playMode = NoPlayMode;    // the play mode it was started in
    quint64 ticket = 0;           // its steps go on while the session honours it
    std::function<void()> deferredStart;
} race;

// Marks one race from "Start Game" to the end of its clean-up, however it ends.
struct RaceScope
{
    explicit RaceScope(int mode)
    {
        GameSession &session = GameSession::current();
        session.voidRaceTickets();   // a step of an earlier race stops at its next wait
        race.inProgress = true;
        race.abandoned = false;
        race.playMode = mode;
        race.ticket = session.raceTicket();
        // The last race's countdown to the goodbye, unload and end of the program would
        // take this race's characters and end it.
        Model().shutdownCountdown = 0;
    }
    ~RaceScope()
    {
        race.inProgress = false;
        race.abandoned = false;
        GameSession::current().setRaceRunning(false);
        StartDeferredRace();
    }
    RaceScope(const RaceScope &) = delete;
    RaceScope &operator=(const RaceScope &) = delete;
};

// The race has been neither cancelled nor replaced, and the program goes on.
bool raceGoesOn()
{
    return GameSession::current().raceGoesOn(race.ticket);
}

} // namespace

bool RaceInProgress()
{
    return race.inProgress;
}

bool HostingRace()
{
    return race.inProgress && race.playMode == HostGame;
}

void AbandonRace()
{
    if (!race.inProgress || race.abandoned)
        return;
    race.abandoned = true;
    CancelRace();
}

void StartDeferredRace()
{
    if (!race.deferredStart || race.inProgress || Model().tickInProgress)
        return;
    QTimer::singleShot(0, &GameSession::current(), std::exchange(race.deferredStart, {}));
}

namespace {

// The race of "Start Game" in the given play mode, from the roster's presentation to
// its clean-up.
Task<> hostedRace(int mode)
{
    const RaceScope scope(mode);
    UnloadRaceCharacters();
    GameSession::current().announce(RaceStep::Starting);
    if (mode == HostGame) {
        co_await SendRoster();
        if (raceGoesOn())
            co_await SendStartRace();
    }
    if (raceGoesOn())
        co_await PresentContestants();
    if (raceGoesOn())
        co_await Wait(mode == PracticeGame ? 1000 : 2000);
    co_await RunRace();
}

Task<> joinedRace()
{
    const RaceScope scope(JoinGame);
    GameSession::current().setJoinedRace(true);
    co_await PresentContestants();
    if (raceGoesOn())
        co_await Wait(2000);
    co_await RunRace();
}

} // namespace

void StartRaceClick()
{
    // A race on its way: starting here would run two at once. After a tick's waits or
    // an abandoned race the start follows at once.
    if (race.inProgress && !race.abandoned) {
        GameDialogs().beep(BeepKind::Error);
        return;
    }
    if (race.inProgress || Model().tickInProgress) {
        race.deferredStart = StartRaceClick;
        return;
    }
    race.deferredStart = {};
    const int mode = CurrentPlayMode();
    if (ContestantCount() < 2 && mode != PracticeGame) {
        GameDialogs().beep(BeepKind::Error);
        GameDialogs().show(BoxKind::Information, QStringLiteral("You need some contestants first"));
        return;
    }
    if (CurrentGameType() < 0) {
        GameDialogs().beep(BeepKind::Error);
        GameDialogs().show(BoxKind::Error, QStringLiteral("Please select a Game Type First"));
        return;
    }
    if (mode != HostGame && mode != LocalRace && mode != PracticeGame) {
        GameDialogs().beep(BeepKind::Error);
        return;
    }
    // The scope is taken now, so that a second click before the first wait is refused.
    race.inProgress = true;
    Launch(hostedRace(mode));
}

void StartJoinedRace()
{
    // The host's resends may arrive during the waits: the race starts once.
    // Without a roster nobody could move and the race would never end.
    const GameSession &session = GameSession::current();
    if (session.joinedRace() || session.raceRunning() || (race.inProgress && !race.abandoned) || ContestantCount() < 1)
        return;
    if (race.inProgress || Model().tickInProgress) {
        race.deferredStart = StartJoinedRace;
        return;
    }
    race.inProgress = true;
    Launch(joinedRace());
}

Task<> PresentContestants()
{
    GameSession::current().announce(RaceStep::TrackOpened);
    const int mode = CurrentPlayMode();
    GameStage().load(10, ProgramFolder() + GameFile::AnnouncerCharacter, false, true, Announcer);
    GameStage().move(ScreenCentre().x(), ScreenCentre().y(), Announcer, 0);
    if (mode != PracticeGame) {
        co_await GameStage().waitForAudio();
        if (!raceGoesOn())
            co_return;
        GameStage().speak(LookupPhrase(QStringLiteral("we1")), Announcer);
        co_await Wait(3000);
        co_await GameStage().waitForAudio();
    }
    for (int slot = 0; slot < ContestantCount() && slot < MaxContestants && raceGoesOn(); ++slot) {
        const ContestantItemFields fields = ContestantFields(slot);
        QString path = WindowsFolder() + QStringLiteral("MSagent\\chars\\") + fields.CharacterFile;
        if (!FileExists(path) || path == Records::Options.UserCharacterFile)
            path = RandomFreeCharacter();
        if (path.isEmpty())
            continue;
        const QString identity = PlayerIdentity(slot);
        GameStage().load(10, path, false, false, identity);
        GameStage().show(true, identity);
        GameStage().move(0, slot * RowHeight(), identity, 0);
        GameStage().act(QStringLiteral("greet"), identity);
        co_await GameStage().waitForAudio();
        if (!raceGoesOn())
            co_return;
        if (mode == LocalRace)
            GameStage().speak(LookupPhrase(QStringLiteral("rs2")) + u' ' + WithoutExtension(fields.CharacterFile), identity);
        else
            GameStage().speak(LookupPhrase(QStringLiteral("rs1")) + u' ' + fields.PlayerName, identity);
        co_await Wait(2500);
    }
    co_await GameStage().waitForAudio();
    if (!raceGoesOn())
        co_return;
    for (int slot = 0; slot < ContestantCount(); ++slot)
        GameStage().act(QStringLiteral("lookleft"), PlayerIdentity(slot));
    GameStage().move(0, 0, Announcer, 100);
}

Task<> RunCountdown()
{
    GameSession &session = GameSession::current();
    const quint64 ticket = session.raceTicket();
    session.announceCountdown(9);   // the window appears with the first number
    for (int n = 9; n >= 0; --n) {
        co_await Wait(500);
        if (!session.raceGoesOn(ticket))   // no race is left to start
            break;
        session.announceCountdown(n);
    }
    session.announceCountdown(CountdownOver);
}

Task<> RunRace()
{
    GameSession &session = GameSession::current();
    if (raceGoesOn()) {
        session.announce(RaceStep::TrackOpened);
        Model().standings.first = Model().standings.second = Model().standings.third = 0;
        Model().questionCountdown = 2;
        if (CurrentPlayMode() != PracticeGame) {
            GameStage().act(QStringLiteral("postcall"), Announcer);
            co_await Wait(7500);
            if (raceGoesOn())
                co_await RunCountdown();
            if (raceGoesOn())
                GameStage().act(QStringLiteral("startgate"), Announcer);
        }
    }
    // A race cancelled or abandoned before its rounds began runs none: nothing would end
    // them, and its roster may be gone. Nor does one whose program is ending.
    if (raceGoesOn()) {
        session.announce(RaceStep::Opened);
        DeleteGameFile(ProgramFolder() + GameFile::Questions);
        ResetQuestionRound();   // the new race's first question may repeat the last race's
        session.setRaceRunning(true);
        session.announce(RaceStep::RoundsRunning);
        for (ContestantRecord &record : Model().contestants)
            record.Progress = 0;
        while (co_await RaceRound()) {
        }
    }
    session.setRaceRunning(false);
    WithdrawQuestion();   // a memory test still open has no race left to answer for
    if (!race.abandoned)   // else the play mode is the one the user has just picked
        session.setPlayMode(NoPlayMode);
    session.announce(RaceStep::Over);   // the race track goes too
    Model().shutdownCountdown = 50;
}

void StopRaceHere()
{
    if (race.inProgress)
        GameSession::current().voidRaceTickets();
    GameSession::current().setRaceRunning(false);
    GameSession::current().announce(RaceStep::Cancelled);
    WithdrawQuestion();
}

void CancelRace()
{
    const bool hosting = HostingRace();
    StopRaceHere();
    if (hosting)
        SendCancel();
    Model().dexterityCountdown = 0;
    GameStage().move(0, 0, Announcer, 0);
}

void LeaveGame()
{
    if (race.inProgress)
        CancelRace();
    TerminateApplication();   // held for the joiners' second cancel, if one is due
}
