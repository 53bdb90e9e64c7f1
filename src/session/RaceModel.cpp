#include "RaceModel.h"

#include "GameSession.h"
#include "Roster.h"

void ResetContestantTable()
{
    for (ContestantRecord &slot : Model().contestants) {
        slot.CharacterFile.clear();
        slot.PlayerName.clear();
        slot.Uin.clear();
        slot.Address.clear();
        slot.Progress = 0;
        slot.LastX = 0;
        slot.Score = 0;
        slot.Confirmed = SlotUnconfirmed;
        slot.QuestionNumber = 1;
    }
    ClearRoster();
}


RaceModel &Model()
{
    return GameSession::current().model();
}
