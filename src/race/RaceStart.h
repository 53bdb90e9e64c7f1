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
// This copy hosts the race in progress: leaving it owes the joiners a cancel.
bool HostingRace();
// Called before a roster-changing action (a new play mode, "New Game"): a race in
// progress is cancelled as "Cancel Game" does (the joiners are told); it then runs no
// more steps, and its clean-up leaves the play mode that the user picked.
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
// Stops the race under way on this copy: nothing more of it is sent, shown, spoken or
// played after its current step; "Cancel Game" goes, the question on show (a memory test
// included) closes.
void StopRaceHere();
// "Cancel Game" (on the main window or the race track): stops the race under way.
// It also tells the joiners (when hosting: "RC" twice), ends the dexterity test and
// sends the Announcer to the corner.
void CancelRace();
// The program is left (Exit, the main window closed, the desktop session ending): a race
// in progress is cancelled first, so that the joiners of a hosted one are told twice
// before the program ends.
void LeaveGame();
