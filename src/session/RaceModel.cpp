#include "RaceModel.h"

#include "Roster.h"

ContestantRecord ContestantTable[MaxContestants];

qint32 WinIndex = 0;
qint32 PlaceIndex = 0;
qint32 ShowIndex = 0;
qint32 FinisherIndex = 0;
qint32 QuestionCountdown = 0;
quint8 TurnIndex = 0;
qint32 CommentaryCycles = 0;
bool MovedSinceCommentary = false;
qint32 ShutdownCountdown = 0;
qint32 DexterityCountdown = 0;

bool TickInProgress = false;
QString LastRosterPayload;
QString LastQuestionKey;

void ResetContestantTable()
{
    for (ContestantRecord &slot : ContestantTable) {
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

