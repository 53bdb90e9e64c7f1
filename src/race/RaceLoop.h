// The race loop: per-round progress, the ranking of the leaders, the per-tick moves of
// the characters with their idle gestures, the commentary, and the shutdown countdown
// that ends the program after a race.
#pragma once

#include "GameSession.h"
#include "Roster.h"
#include "Waits.h"

#include <QPoint>
#include <QString>


void AdvanceProgress(int slot);
// Runs one race round; returns false when it was the last one.
Task<bool> RaceRound();
void RankContestants();
void MoveContestant(int slot);
void IdleGesture(int slot);
Task<> RaceCommentary();
// Polls, every stepMs, until the slot's character reports a left coordinate at least its
// Progress value (the raw percentage: the character has left the start), at most polls
// times. A character that is not loaded is not waited for.
Task<> WaitForLeftAtLeast(int slot, int polls, int stepMs);
Task<> GoodbyeStep();
Task<> UnloadStep();
// "Unload Characters": every contestant's character and the Announcer.
void UnloadRaceCharacters();
// The race's share of the main window's 250 ms tick (moving one contestant per tick,
// the commentary and the shutdown countdown). raceTicker runs it with the timer off.
Task<> RaceTickerStep();

// The race's screen cut into one row per contestant, and its centre.
int RowHeight();
QPoint ScreenCentre();
// The finish: the ranking, the last positions to the joiners, the ceremony and the
// scoreboard.
Task<> FinishSequence();
// Polls the stage's idle flag every 250 ms, at most 4 x seconds times; returns it.
Task<bool> WaitUntilIdle(int seconds);
