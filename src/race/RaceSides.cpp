#include "RaceSides.h"

#include "GameMessages.h"
#include "GameSession.h"
#include "PlaySettings.h"
#include "QuestionRound.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "Roster.h"

void SteeringSide::advance(int slot)
{
    AdvanceProgress(roster_.model().contestants[slot], settings_.gameType(), random_);
}

Task<> SteeringSide::putQuestions(QuestionRound &questions)
{
    co_await questions.runRound();
}

Task<> SteeringSide::tellPositions()
{
    co_await dispatcher_.sendPositions();
}

void SteeringSide::tellFinalPositions()
{
    // The standings sent now are every scoreboard's: a report that comes in later answers
    // a question withdrawn, and counts for nothing.
    for (int slot = 0; slot < MaxContestants; ++slot)
        if (roster_.model().contestants[slot].Confirmed == SlotQuestionOutstanding)
            roster_.setSlotState(slot, SlotReady);
    dispatcher_.sendFinalPositions();
}

bool JoinedSide::hostLost() const
{
    return GameClock().nowMs() - session_.raceRun().hostHeardMs > ScaledInterval(15000);
}
