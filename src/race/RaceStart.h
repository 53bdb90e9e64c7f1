// One race from "Start Game" (or a joiner's start message) to the scoreboard: the
// checks, the presentation of the characters, the start gate with its countdown, the
// race rounds, the finish ceremony and the clean-up.
#pragma once

void StartRaceClick();
void PresentContestants();
void RunRace();
void OpenRaceTrack();
void FinishSequence();
// Polls the stage's idle flag every 250 ms, at most 4 x seconds times; returns it.
bool WaitUntilIdle(int seconds);
// "Cancel Game" on the main window: stops the race under way.
void BitBtn1Click();
