// The race's rules on the session's model and the stage, which need nothing of the race
// object (Race.h): per-round progress, the ranking of the leaders, the per-tick moves of
// the characters with their idle gestures, the goodbye and unload steps after a race.
#pragma once

#include "GameSession.h"
#include "Roster.h"
#include "Utilities.h"
#include "Waits.h"

#include <QPoint>
#include <QString>

// The draws (a Random Race's progress, a move's speed, a gesture) come from random.
void AdvanceProgress(int slot, Random &random);
void RankContestants();
void MoveContestant(int slot, Random &random);
void IdleGesture(int slot, Random &random);
// Polls, every stepMs, until the slot's character reports a left coordinate at least its
// Progress value (the raw percentage: the character has left the start), at most polls
// times. A character that is not loaded is not waited for.
Task<> WaitForLeftAtLeast(int slot, int polls, int stepMs);
Task<> GoodbyeStep();
Task<> UnloadStep();
// "Unload Characters": every contestant's character and the Announcer.
void UnloadRaceCharacters();

// The race's screen cut into one row per contestant, and its centre.
int RowHeight();
QPoint ScreenCentre();
// Polls the stage's idle flag every 250 ms, at most 4 x seconds times; returns it.
Task<bool> WaitUntilIdle(int seconds);
