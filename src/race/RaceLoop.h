// The race's rules that need no race object (Race.h): per-round progress, the ranking
// of the leaders, the unload of the race's characters and the wait for an idle stage.
#pragma once

#include "CharacterStage.h"
#include "RaceModel.h"
#include "RaceRun.h"
#include "Utilities.h"
#include "Waits.h"

class Roster;

// A round's move of a contestant in a race of the game type: a random step in a Random
// Race (drawn from random), 12 points a right answer in a puzzle race.
void AdvanceProgress(ContestantRecord &record, int gameType, Random &random);
// The slots in the first three places of the roster's contestants, by Progress.
void RankContestants(const Roster &roster, RaceStandings &standings);
// "Unload Characters": every contestant's character and the Announcer.
void UnloadRaceCharacters(CharacterStage &stage);
// Polls the stage's idle flag every 250 ms, at most 4 x seconds times; returns it.
Task<bool> WaitUntilIdle(CharacterStage &stage, int seconds);
