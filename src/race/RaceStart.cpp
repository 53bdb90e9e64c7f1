#include "Race.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
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
        race.session_.newRaceRun();   // a step of an earlier race stops at its next wait
        race.inProgress_ = true;
        race.abandoned_ = false;
        race.playMode_ = mode;
        race.hold_ = RaceHold(race.session_.raceRun());
        // The last race's countdown to the goodbye, unload and end of the program would
        // take this race's characters and end it.
        race.model().shutdownCountdown = 0;
    }
    ~RaceScope()
    {
        race.inProgress_ = false;
        race.abandoned_ = false;
        race.session_.setRaceRunning(false);
        race.startDeferred();
    }
    RaceScope(const RaceScope &) = delete;
    RaceScope &operator=(const RaceScope &) = delete;

    Race &race;
};

Race::Race(GameSession &session, Roster &roster, PlaySettings &settings, CharacterStage &stage, Dialogs &dialogs,
           Dispatcher &dispatcher, RaceScreen &screen)
    : session_(session), roster_(roster), settings_(settings), stage_(stage), dialogs_(dialogs),
      dispatcher_(dispatcher), screen_(screen),
      ticker_([this] { return tickStep(); }, [this] { startDeferred(); }, roster.model().tickInProgress,
              [this] { return tickWaits(); })
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
    if (settings_.playMode() == JoinGame)
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
        dispatcher_.sendCancel();   // a hosted game's accepted joiners are told, as by a race's cancel
    if (!inProgress_ || abandoned_)
        return;
    abandoned_ = true;
    cancel();
}

void Race::startDeferred()
{
    if (!deferredStart_ || inProgress_ || model().tickInProgress)
        return;
    QTimer::singleShot(0, this, std::exchange(deferredStart_, {}));   // none once the race object is gone
}

// The race of "Start Game" in the given play mode, from the roster's presentation to
// its clean-up.
Task<> Race::hosted(int mode)
{
    const RaceScope scope(*this, mode);
    UnloadRaceCharacters(stage_);
    emit raceStep(RaceStep::Starting);
    if (mode == HostGame) {
        co_await dispatcher_.sendRoster();
        if (goesOn())
            co_await dispatcher_.sendStartRace();
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
    session_.setJoinedRace(true);
    dispatcher_.forgetPositionsNumber();   // the host numbers each race's positions from 1
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
        dialogs_.beep(BeepKind::Error);
        return;
    }
    if (inProgress_ || model().tickInProgress) {
        deferredStart_ = [this] { start(); };
        return;
    }
    deferredStart_ = {};
    const int mode = settings_.playMode();
    if (roster_.count() < 2 && mode != PracticeGame) {
        dialogs_.beep(BeepKind::Error);
        dialogs_.show(BoxKind::Information, QStringLiteral("You need some contestants first"));
        return;
    }
    if (settings_.gameType() == NoGameType) {
        dialogs_.beep(BeepKind::Error);
        dialogs_.show(BoxKind::Error, QStringLiteral("Please select a Game Type First"));
        return;
    }
    if (mode != HostGame && mode != LocalRace && mode != PracticeGame) {
        dialogs_.beep(BeepKind::Error);
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
    const GameSession &session = session_;
    if (session.joinedRace() || session.raceRunning() || (inProgress_ && !abandoned_) || roster_.count() < 1)
        return;
    if (inProgress_ || model().tickInProgress) {
        // Kept for this host and "Join a Game" only: a cancel or a new play mode drops it.
        deferredStart_ = [this, host = session.hostAddress()] {
            if (dispatcher_.fromOwnHost(host))
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
    const int mode = settings_.playMode();
    stage_.load(10, ProgramFolder() + GameFile::AnnouncerCharacter, false, true, Announcer);
    stage_.move(screenCentre().x(), screenCentre().y(), Announcer, 0);
    if (mode != PracticeGame) {
        co_await stage_.waitForAudio();
        if (!goesOn())
            co_return;
        stage_.speak(LookupPhrase(QStringLiteral("we1")), Announcer);
        co_await Wait(3000);
        co_await stage_.waitForAudio();
    }
    for (int slot = 0; slot < roster_.count() && slot < MaxContestants && goesOn(); ++slot) {
        const ContestantItemFields fields = roster_.fields(slot);
        QString path = WindowsFolder() + QStringLiteral("MSagent\\chars\\") + fields.CharacterFile;
        if (!FileExists(path) || path == Records::Options.UserCharacterFile)
            path = roster_.randomFreeCharacter();
        if (path.isEmpty())
            continue;
        const QString identity = PlayerIdentity(slot);
        stage_.load(10, path, false, false, identity);
        stage_.show(true, identity);
        stage_.move(0, slot * rowHeight(), identity, 0);
        stage_.act(QStringLiteral("greet"), identity);
        co_await stage_.waitForAudio();
        if (!goesOn())
            co_return;
        if (mode == LocalRace)
            stage_.speak(LookupPhrase(QStringLiteral("rs2")) + u' ' + WithoutExtension(fields.CharacterFile), identity);
        else
            stage_.speak(LookupPhrase(QStringLiteral("rs1")) + u' ' + fields.PlayerName, identity);
        co_await Wait(2500);
    }
    co_await stage_.waitForAudio();
    if (!goesOn())
        co_return;
    for (int slot = 0; slot < roster_.count(); ++slot)
        stage_.act(QStringLiteral("lookleft"), PlayerIdentity(slot));
    stage_.move(0, 0, Announcer, 100);
}

Task<> Race::countdown()
{
    const RaceHold race(session_.raceRun());
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
    GameSession &session = session_;
    if (goesOn()) {
        emit raceStep(RaceStep::TrackOpened);
        if (settings_.playMode() != PracticeGame) {
            stage_.act(QStringLiteral("postcall"), Announcer);
            co_await Wait(7500);
            if (goesOn())
                co_await countdown();
            if (goesOn())
                stage_.act(QStringLiteral("startgate"), Announcer);
        }
    }
    // A race cancelled or abandoned before its rounds began runs none: nothing would end
    // them, and its roster may be gone. Nor does one whose program is ending.
    if (goesOn()) {
        emit raceStep(RaceStep::Opened);
        DeleteGameFile(ProgramFolder() + GameFile::Questions);
        questions_.reset();   // the new race's first question may repeat the last race's
        session.setRaceRunning(true);
        session_.raceRun().hostHeardMs = GameClock().nowMs();   // a joiner's host may be silent 15 s from now
        emit raceStep(RaceStep::RoundsRunning);
        for (ContestantRecord &record : model().contestants)
            record.Progress = 0;
        while (co_await round()) {
        }
    }
    session.setRaceRunning(false);
    questions_.withdraw();   // a memory test still open has no race left to answer for
    if (!abandoned_)   // else the play mode is the one the user has just picked
        settings_.setPlayMode(NoPlayMode);
    emit raceStep(RaceStep::Over);   // the race track goes too
    model().shutdownCountdown = 50;
}

void Race::stopHere()
{
    deferredStart_ = {};
    if (inProgress_)
        session_.newRaceRun();
    session_.setRaceRunning(false);
    emit raceStep(RaceStep::Cancelled);
    questions_.withdraw();
}

void Race::cancel()
{
    const bool wasHosting = hosting();
    if (inProgress_ && playMode_ == JoinGame)   // its host's late messages ("RZ" above all) are ignored
        session_.setHostAddress(QString());
    stopHere();
    if (wasHosting)
        dispatcher_.sendCancel();
    model().dexterityCountdown = 0;
    stage_.move(0, 0, Announcer, 0);
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
    dispatcher_.forgetNetworkGame();
    if (mode < JoinGame || mode > PracticeGame)
        return;
    roster_.reset();
    if (mode == HostGame || mode == PracticeGame) {
        const Records::OptionsRecord &options = Records::Options;
        if (const std::optional<int> slot = roster_.add(options.UserName, QString::number(options.UserUin),
                                                          NameOfPath(options.UserCharacterFile))) {
            model().contestants[*slot].Address.clear();
            roster_.setSlotState(*slot, SlotReady);
        }
    } else if (mode == LocalRace) {
        settings_.setGameType(RandomRaceType);
    }
}

void Race::gameTypeChosen()
{
    GameSession &session = session_;
    if (settings_.gameType() == RandomRaceType)
        settings_.setDifficulty(Easy);
    if (!session.raceRunning())
        dispatcher_.sendGameDescription();
}

void Race::newGame()
{
    abandon();
    dispatcher_.forgetNetworkGame();
    roster_.reset();
    settings_.setPlayMode(NoPlayMode);
    settings_.setGameType(NoGameType);
}
