// The race of this copy: the object that runs it from "Start Game" (or the host's start
// message) to the scoreboard and the clean-up, and owns what it needs meanwhile: whether a
// race is in progress and in which play mode, a start asked for while one could not
// begin, its ticker, and its sequences (the presentation, the start gate with its
// countdown, the rounds, the commentary, the finish) as member coroutines. It is made by
// main, lives as long as the program, and is handed to the windows and message handlers
// that start, cancel and follow it. It drives no window: it tells them its steps through
// its signals (raceStep, countdownNumber).
//
// One race at a time: a start during a race does nothing, and one asked for while a tick
// waits (the goodbye and unload steps) or while an abandoned race winds down starts once
// that is over. Each race is a RaceRun of the session, made at its start and gone at a
// cancel or the next start; every step of a race holds it and goes on after a wait only
// while it lives.
#pragma once

#include "CharacterStage.h"
#include "Dialogs.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "PlaySettings.h"
#include "QuestionRound.h"
#include "RaceLoop.h"
#include "RaceScreen.h"
#include "RaceSides.h"
#include "RaceTicker.h"
#include "Roster.h"
#include "Waits.h"

#include <QObject>

#include <functional>

// Steps of a race that the windows show.
enum class RaceStep {
    Starting,        // "Start Game" went ahead: the start and invite buttons go
    TrackOpened,     // the race track shows, maximised on the race's screen, without the
                     // last race's scoreboard
    Opened,          // the start gate opened: the window comes to the front, music plays
    RoundsRunning,   // the rounds run: "Cancel Game" shows
    Cancelled,       // the race was cancelled: "Cancel Game" goes, the music stops, the race
                     // track goes
    ScoreboardShown, // the finish ceremony shows the scoreboard of the first three
    Over,            // the race is over: "Cancel Game" goes, the window returns to the
                     // top of the screen, the music stops, the race track goes
};

// The number the start's countdown shows; CountdownOver closes it.
constexpr int CountdownOver = -1;

class Race : public QObject
{
    Q_OBJECT
public:
    // What the race uses, handed in by main: the session, the roster over the
    // contestants' records, the play settings, the characters, the boxes, the dispatcher
    // (the messages and the transport) and the race's screen. It hands the same to its
    // question round.
    Race(GameSession &session, Roster &roster, PlaySettings &settings, CharacterStage &stage, Dialogs &dialogs,
         Dispatcher &dispatcher, RaceScreen &screen);
    ~Race() override;

    // What it was handed, for the windows that follow it.
    GameSession &session() const { return session_; }
    Roster &roster() const { return roster_; }
    PlaySettings &playSettings() const { return settings_; }
    Dialogs &dialogs() const { return dialogs_; }
    Dispatcher &dispatcher() const { return dispatcher_; }
    RaceScreen &screen() const { return screen_; }
    CharacterStage &stage() const { return stage_; }

    // "Start Game": checks the roster, the game type and the play mode, then runs the
    // race of the play mode picked (hosted, local or practice).
    void start();
    // A joiner's start on the host's "SR": the same guard, then the presentation and race.
    void startJoined();
    // True from a start until its race has cleaned up.
    bool inProgress() const { return inProgress_; }
    // This copy hosts the race in progress: leaving it owes the joiners a cancel.
    bool hosting() const;
    // Before a roster-changing action (a new play mode, "New Game"): a race in progress is
    // cancelled as "Cancel Game" does (the joiners are told); it then runs no more steps,
    // and its clean-up leaves the play mode that the user picked. A start kept for later
    // is dropped. Without a race, the accepted joiners of a hosted game get "RC" twice.
    void abandon();
    // Stops the race under way on this copy: nothing more of it is sent, shown, spoken or
    // played after its current step; "Cancel Game" goes, the question on show (a memory
    // test included) closes, and a start kept for later is dropped.
    void stopHere();
    // "Cancel Game" (on the main window or the race track): stops the race under way, tells
    // the joiners (when hosting: "RC" twice) or leaves the host (when joined: nothing more
    // of it is taken), ends the dexterity test and sends the Announcer to the corner.
    void cancel();
    // The program is left (Exit, the main window closed, the desktop session ending): a
    // race in progress is cancelled first, so that the joiners of a hosted one are told
    // twice before the program ends; so are the joiners accepted before "Start Game".
    void leave();

    // The play settings' rules, whoever changes them (the main window's radio groups):
    // - a new play mode changes the roster: a race in progress is abandoned, the network
    //   game forgotten, the roster emptied; hosting or practising puts the player in it,
    //   a local race is a Random Race;
    // - a game type picked: a Random Race is Easy, and a host tells its joiners;
    // - "New Game": no race, no roster, no play mode, no game type.
    void playModeChosen(PlayMode mode);
    void gameTypeChosen();
    void newGame();

    // The 250 ms tick of the race (moves, commentary, the countdown to the program's end).
    RaceTicker &ticker() { return ticker_; }
    // The questions of the race: the round it puts as the host, the question on show here.
    QuestionRound &questions() { return questions_; }
    // Where its draws come from (a test seeds it).
    Random &random() { return random_; }

    // Installs the handlers of a joiner's race messages ("SR" starts the race, "RP" moves
    // the contestants, "RC" cancels it) and of its questions (QuestionRound).
    void installMessageHandlers();

    // The steps, for the ticker and the tests.
    // One round of the race: progress, a finish, the question round every third round of
    // a puzzle race, then the positions to the joiners; false when it was the last one.
    Task<bool> round();
    // The Announcer's comment on the leaders (after four turns of the ticker).
    Task<> commentary();
    // The race's share of a tick: one contestant moved, the commentary, the countdown to
    // the goodbye, the unload and the end of the program.
    Task<> tickStep();
    // Starts the start asked for while a tick waited (the ticker calls it after each tick).
    void startDeferred();
    // The finish: the ranking, the last positions to the joiners, the ceremony and the
    // scoreboard.
    Task<> finish();
    // The start's countdown: 9 down to 0, one number each 500 ms, told to the windows
    // through the session; it stops early when the start is cancelled.
    Task<> countdown();
    // A tick's move of the slot's character to its Progress on the race's screen (or an
    // idle gesture when it is there already).
    void moveContestant(int slot);

signals:
    // A step of the race, for the windows to show.
    void raceStep(RaceStep step);
    // The number the countdown window shows (9 down to 0), then CountdownOver.
    void countdownNumber(int number);

private:
    friend struct RaceScope;
    RaceModel &model() const { return roster_.model(); }
    bool goesOn() const;
    bool tickWaits() const;
    void idleGesture(int slot);
    Task<> waitForLeftAtLeast(int slot, int polls, int stepMs);
    Task<> goodbyeStep();
    Task<> unloadStep();
    int rowHeight() const;
    QPoint screenCentre() const;
    RaceSide &side();
    Task<> hosted(int mode);
    Task<> joined();
    Task<> present();
    Task<> run();
    Task<> joinedStart(QString senderAddress);
    void cancelledByHost();

    GameSession &session_;
    Roster &roster_;
    PlaySettings &settings_;
    CharacterStage &stage_;
    Dialogs &dialogs_;
    Dispatcher &dispatcher_;
    RaceScreen &screen_;
    bool inProgress_ = false;
    bool abandoned_ = false;      // its roster changed under it (a new play mode, "New Game")
    bool left_ = false;           // leave() came: the program ends, the goodbye is said once
    int playMode_ = -1;           // the play mode it was started in
    RaceHold hold_;               // its steps go on while its race lives
    Random random_;   // its draws: progress, move speeds, gestures
    // Who steers it: this copy, or the host it joined (side()).
    SteeringSide steeringSide_{roster_, settings_, dispatcher_, random_};
    JoinedSide joinedSide_{session_};
    // A start asked for while a tick waited or an abandoned race wound down; a host's
    // start is kept only for that host and "Join a Game", and any cancel drops it.
    std::function<void()> deferredStart_;
    bool joinedStartPending_ = false;   // one host's start at a time
    QuestionRound questions_{session_, roster_, settings_, stage_, dialogs_, dispatcher_};
    RaceTicker ticker_;
};
