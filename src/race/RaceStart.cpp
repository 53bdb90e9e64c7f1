#include "Race.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "Phrases.h"
#include "QuestionRound.h"
#include "RaceModel.h"
#include "records.h"
#include "Roster.h"
#include "Utilities.h"

#include <QTimer>

#include <functional>
#include <utility>

namespace {

const QString Announcer = QStringLiteral("Announcer");

} // namespace

// Marks one race from its start to the end of its clean-up, however it ends.
struct RaceScope
{
    RaceScope(Race &race, int mode) : race(race)
    {
        GameSession::current().newRaceRun();   // a step of an earlier race stops at its next wait
        race.inProgress_ = true;
        race.abandoned_ = false;
        race.playMode_ = mode;
        race.hold_ = RaceHold();
        // The last race's countdown to the goodbye, unload and end of the program would
        // take this race's characters and end it.
        Model().shutdownCountdown = 0;
    }
    ~RaceScope()
    {
        race.inProgress_ = false;
        race.abandoned_ = false;
        GameSession::current().setRaceRunning(false);
        race.startDeferred();
    }
    RaceScope(const RaceScope &) = delete;
    RaceScope &operator=(const RaceScope &) = delete;

    Race &race;
};

Race::Race() : ticker_([this] { return tickStep(); }, [this] { startDeferred(); })
{
}

Race::~Race() = default;

// The race has been neither cancelled nor replaced, and the program goes on.
bool Race::goesOn() const
{
    return hold_.goesOn();
}

RaceSide &Race::side()
{
    // The play mode of the race under way: a new one abandons it.
    if (CurrentPlayMode() == JoinGame)
        return joinedSide_;
    return steeringSide_;
}

bool Race::hosting() const
{
    return inProgress_ && playMode_ == HostGame;
}

void Race::abandon()
{
    deferredStart_ = {};   // a start kept for the race left behind belongs to it
    if (!inProgress_)
        SendCancel();   // a hosted game's accepted joiners are told, as by a race's cancel
    if (!inProgress_ || abandoned_)
        return;
    abandoned_ = true;
    cancel();
}

void Race::startDeferred()
{
    if (!deferredStart_ || inProgress_ || Model().tickInProgress)
        return;
    QTimer::singleShot(0, this, std::exchange(deferredStart_, {}));   // none once the race object is gone
}

// The race of "Start Game" in the given play mode, from the roster's presentation to
// its clean-up.
Task<> Race::hosted(int mode)
{
    const RaceScope scope(*this, mode);
    UnloadRaceCharacters();
    emit raceStep(RaceStep::Starting);
    if (mode == HostGame) {
        co_await SendRoster();
        if (goesOn())
            co_await SendStartRace();
    }
    if (goesOn())
        co_await present();
    if (goesOn())
        co_await Wait(mode == PracticeGame ? 1000 : 2000);
    co_await run();
}

Task<> Race::joined()
{
    const RaceScope scope(*this, JoinGame);
    GameSession::current().setJoinedRace(true);
    ForgetPositionsNumber();   // the host numbers each race's positions from 1
    co_await present();
    if (goesOn())
        co_await Wait(2000);
    co_await run();
}

void Race::start()
{
    // A race on its way: starting here would run two at once. After a tick's waits or
    // an abandoned race the start follows at once.
    if (inProgress_ && !abandoned_) {
        GameDialogs().beep(BeepKind::Error);
        return;
    }
    if (inProgress_ || Model().tickInProgress) {
        deferredStart_ = [this] { start(); };
        return;
    }
    deferredStart_ = {};
    const int mode = CurrentPlayMode();
    if (GameRoster().count() < 2 && mode != PracticeGame) {
        GameDialogs().beep(BeepKind::Error);
        GameDialogs().show(BoxKind::Information, QStringLiteral("You need some contestants first"));
        return;
    }
    if (CurrentGameType() == NoGameType) {
        GameDialogs().beep(BeepKind::Error);
        GameDialogs().show(BoxKind::Error, QStringLiteral("Please select a Game Type First"));
        return;
    }
    if (mode != HostGame && mode != LocalRace && mode != PracticeGame) {
        GameDialogs().beep(BeepKind::Error);
        return;
    }
    // The scope is taken now, so that a second click before the first wait is refused.
    inProgress_ = true;
    Launch(hosted(mode));
}

void Race::startJoined()
{
    // The host's resends may arrive during the waits: the race starts once.
    // Without a roster nobody could move and the race would never end.
    const GameSession &session = GameSession::current();
    if (session.joinedRace() || session.raceRunning() || (inProgress_ && !abandoned_) || GameRoster().count() < 1)
        return;
    if (inProgress_ || Model().tickInProgress) {
        // Kept for this host and "Join a Game" only: a cancel or a new play mode drops it.
        deferredStart_ = [this, host = session.hostAddress()] {
            if (FromOwnHost(host))
                startJoined();
        };
        return;
    }
    inProgress_ = true;
    Launch(joined());
}

Task<> Race::present()
{
    emit raceStep(RaceStep::TrackOpened);
    const int mode = CurrentPlayMode();
    GameStage().load(10, ProgramFolder() + GameFile::AnnouncerCharacter, false, true, Announcer);
    GameStage().move(ScreenCentre().x(), ScreenCentre().y(), Announcer, 0);
    if (mode != PracticeGame) {
        co_await GameStage().waitForAudio();
        if (!goesOn())
            co_return;
        GameStage().speak(LookupPhrase(QStringLiteral("we1")), Announcer);
        co_await Wait(3000);
        co_await GameStage().waitForAudio();
    }
    for (int slot = 0; slot < GameRoster().count() && slot < MaxContestants && goesOn(); ++slot) {
        const ContestantItemFields fields = GameRoster().fields(slot);
        QString path = WindowsFolder() + QStringLiteral("MSagent\\chars\\") + fields.CharacterFile;
        if (!FileExists(path) || path == Records::Options.UserCharacterFile)
            path = GameRoster().randomFreeCharacter();
        if (path.isEmpty())
            continue;
        const QString identity = PlayerIdentity(slot);
        GameStage().load(10, path, false, false, identity);
        GameStage().show(true, identity);
        GameStage().move(0, slot * RowHeight(), identity, 0);
        GameStage().act(QStringLiteral("greet"), identity);
        co_await GameStage().waitForAudio();
        if (!goesOn())
            co_return;
        if (mode == LocalRace)
            GameStage().speak(LookupPhrase(QStringLiteral("rs2")) + u' ' + WithoutExtension(fields.CharacterFile), identity);
        else
            GameStage().speak(LookupPhrase(QStringLiteral("rs1")) + u' ' + fields.PlayerName, identity);
        co_await Wait(2500);
    }
    co_await GameStage().waitForAudio();
    if (!goesOn())
        co_return;
    for (int slot = 0; slot < GameRoster().count(); ++slot)
        GameStage().act(QStringLiteral("lookleft"), PlayerIdentity(slot));
    GameStage().move(0, 0, Announcer, 100);
}

Task<> Race::countdown()
{
    const RaceHold race;
    emit countdownNumber(9);   // the window appears with the first number
    for (int n = 9; n >= 0; --n) {
        co_await Wait(500);
        if (!race.goesOn())   // no race is left to start
            break;
        emit countdownNumber(n);
    }
    emit countdownNumber(CountdownOver);
}

Task<> Race::run()
{
    GameSession &session = GameSession::current();
    if (goesOn()) {
        emit raceStep(RaceStep::TrackOpened);
        if (CurrentPlayMode() != PracticeGame) {
            GameStage().act(QStringLiteral("postcall"), Announcer);
            co_await Wait(7500);
            if (goesOn())
                co_await countdown();
            if (goesOn())
                GameStage().act(QStringLiteral("startgate"), Announcer);
        }
    }
    // A race cancelled or abandoned before its rounds began runs none: nothing would end
    // them, and its roster may be gone. Nor does one whose program is ending.
    if (goesOn()) {
        emit raceStep(RaceStep::Opened);
        DeleteGameFile(ProgramFolder() + GameFile::Questions);
        questions_.reset();   // the new race's first question may repeat the last race's
        session.setRaceRunning(true);
        CurrentRace().hostHeardMs = GameClock().nowMs();   // a joiner's host may be silent 15 s from now
        emit raceStep(RaceStep::RoundsRunning);
        for (ContestantRecord &record : Model().contestants)
            record.Progress = 0;
        while (co_await round()) {
        }
    }
    session.setRaceRunning(false);
    questions_.withdraw();   // a memory test still open has no race left to answer for
    if (!abandoned_)   // else the play mode is the one the user has just picked
        session.playSettings().setPlayMode(NoPlayMode);
    emit raceStep(RaceStep::Over);   // the race track goes too
    Model().shutdownCountdown = 50;
}

void Race::stopHere()
{
    deferredStart_ = {};
    if (inProgress_)
        GameSession::current().newRaceRun();
    GameSession::current().setRaceRunning(false);
    emit raceStep(RaceStep::Cancelled);
    questions_.withdraw();
}

void Race::cancel()
{
    const bool wasHosting = hosting();
    if (inProgress_ && playMode_ == JoinGame)   // its host's late messages ("RZ" above all) are ignored
        GameSession::current().setHostAddress(QString());
    stopHere();
    if (wasHosting)
        SendCancel();
    Model().dexterityCountdown = 0;
    GameStage().move(0, 0, Announcer, 0);
}

void Race::leave()
{
    // Once: the end of the program closes the windows, and a closed window asks to leave
    // again (after TERM, HUP or the session's end), which would say goodbye twice more.
    if (!std::exchange(left_, true)) {
        if (inProgress_)
            cancel();
        else
            abandon();   // a hosted game's accepted joiners are told too
    }
    TerminateApplication();   // held for the joiners' second cancel, if one is due
}

void Race::playModeChosen(PlayMode mode)
{
    abandon();
    ForgetNetworkGame();
    if (mode < JoinGame || mode > PracticeGame)
        return;
    GameRoster().reset();
    if (mode == HostGame || mode == PracticeGame) {
        const Records::OptionsRecord &options = Records::Options;
        if (const std::optional<int> slot = GameRoster().add(options.UserName, QString::number(options.UserUin),
                                                          NameOfPath(options.UserCharacterFile))) {
            Model().contestants[*slot].Address.clear();
            GameRoster().setSlotState(*slot, SlotReady);
        }
    } else if (mode == LocalRace) {
        GameSession::current().playSettings().setGameType(RandomRaceType);
    }
}

void Race::gameTypeChosen()
{
    GameSession &session = GameSession::current();
    if (session.playSettings().gameType() == RandomRaceType)
        session.playSettings().setDifficulty(Easy);
    if (!session.raceRunning())
        SendGameDescription();
}

void Race::newGame()
{
    abandon();
    ForgetNetworkGame();
    GameRoster().reset();
    GameSession::current().playSettings().setPlayMode(NoPlayMode);
    GameSession::current().playSettings().setGameType(NoGameType);
}
