// One race from "Start Game" (or a joiner's start message) to the scoreboard: the
// checks, the presentation of the characters, the start gate with its countdown, the
// race rounds, the finish ceremony and the clean-up.
#pragma once

#include "Waits.h"

// One race at a time: "Start Game" during a race does nothing, and one pressed while a
// tick of Ticker waits (the goodbye and unload steps) or while an
// abandoned race winds down starts once that is over.
void StartRaceClick();
// A joiner's start on the host's "SR": the same guard, then the presentation and race.
void StartJoinedRace();
// True from "Start Game" (or a joiner's start) until its race has cleaned up.
bool RaceInProgress();
// A cancel ("Cancel Game", the host's "RC") that comes while the race is presented or
// counted down: the race then runs no rounds (it would otherwise start after the cancel
// and never end).
void CancelRaceStart();
// Called before a roster-changing action (a new play mode, "New Game"): a race in
// progress is cancelled as "Cancel Game" does; it then runs no more rounds, and its
// clean-up leaves the play mode that the user picked.
void AbandonRace();
// Starts the race asked for while a tick waited (Ticker's handler calls it at its end).
void StartDeferredRace();
// Shows the race track (RaceStep::TrackOpened), loads the characters and introduces them.
Task<> PresentContestants();
// Shows the race track again; the start gate with its countdown, the rounds, the
// clean-up; the race track goes with RaceStep::Over.
Task<> RunRace();
// The start's countdown: 9 down to 0, one number each 500 ms, 5 s in all, told to the
// windows through the session (GameSession::countdown); it stops early when the start is
// cancelled.
Task<> RunCountdown();
// The host's cancel to every joiner, twice, 500 ms apart.
Task<> CancelJoiners();
// Stops the race under way on this copy: no more rounds, "Cancel Game" goes, the question
// on show (a memory test included) closes.
void StopRaceHere();
// "Cancel Game" (on the main window or the race track): stops the race under way.
// It also tells the joiners (when hosting), ends the dexterity test and sends the
// Announcer to the corner.
void CancelRace();
