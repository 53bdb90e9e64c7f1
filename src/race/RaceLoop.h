// The race loop: per-round progress, the ranking of the leaders, the per-tick moves of
// the characters with their idle gestures, the commentary, and the shutdown countdown
// that ends the program after a race.
#pragma once

#include <QString>

// "Player" + slot: the stage identity of a contestant's character.
QString PlayerIdentity(int slot);
int ContestantCount();
int CurrentPlayMode();
int CurrentGameType();

void AdvanceProgress(int slot);
// Runs one race round; returns false when it was the last one.
bool RaceRound();
void RankContestants();
void MoveContestant(int slot);
void IdleGesture(int slot);
void RaceCommentary();
// Polls, every stepMs, until the slot's character reports a left coordinate at least its
// Progress value (the raw percentage: the character has left the start), at most polls
// times. A character that is not loaded is not waited for.
void WaitForLeftAtLeast(int slot, int polls, int stepMs);
void GoodbyeStep();
void UnloadStep();
