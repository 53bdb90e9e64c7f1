#include "RaceSides.h"

#include "GameMessages.h"
#include "GameSession.h"
#include "QuestionRound.h"
#include "RaceLoop.h"
#include "RaceModel.h"

void SteeringSide::advance(int slot)
{
    AdvanceProgress(slot, random_);
}

Task<> SteeringSide::putQuestions(QuestionRound &questions)
{
    co_await questions.runRound();
}

Task<> SteeringSide::tellPositions()
{
    co_await SendPositions();
}

void SteeringSide::tellFinalPositions()
{
    // The standings sent now are every scoreboard's: a report that comes in later answers
    // a question withdrawn, and counts for nothing.
    for (int slot = 0; slot < MaxContestants; ++slot)
        if (Model().contestants[slot].Confirmed == SlotQuestionOutstanding)
            GameRoster().setSlotState(slot, SlotReady);
    SendFinalPositions();
}

bool JoinedSide::hostLost() const
{
    return GameClock().nowMs() - CurrentRace().hostHeardMs > ScaledInterval(15000);
}
