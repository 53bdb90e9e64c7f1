// The contestant records (the roster: Roster.h adds and finds them; the main window's
// "Game Contestants" list shows them) and the program-wide race and network-game state.
// Slot n of ContestantTable is item n of the list and the character "Player" + n on the
// stage.
#pragma once

#include <QString>
#include <QtGlobal>

constexpr int MaxContestants = 6;
constexpr int ContestantFileCapacity = 35;
constexpr int ContestantNameCapacity = 35;
constexpr int ContestantUinCapacity = 15;
constexpr int ContestantAddressCapacity = 15;

// Where a slot stands with the questions (ContestantRecord::Confirmed; the roster list
// paints a slot that is not SlotUnconfirmed green).
enum SlotState : quint8 {
    SlotUnconfirmed = 0,           // reset: not yet ready
    SlotReady = 1,                 // ready, or its last question answered
    SlotQuestionOutstanding = 2,   // a question was put and waits for its answer
};

struct ContestantRecord {
    QString CharacterFile;      // file name of the character, at most 35 characters
    QString PlayerName;         // shown and spoken name, at most 35 characters
    QString Uin;                // owner's UIN, at most 15 characters
    QString Address;            // owner's address; empty for a contestant run here
    qint32 Progress = 0;        // percent of the screen width; finished at 92
    qint32 LastX = 0;           // x of the last move ordered; 0 = none yet
    bool Acked = false;         // an "AK" arrived from Address
    quint8 Confirmed = SlotUnconfirmed;   // a SlotState
    qint32 Score = 0;           // right answers in this race
    qint32 QuestionNumber = 1;  // next question-file record for this contestant
};

extern ContestantRecord ContestantTable[MaxContestants];

// Empties the roster: the texts of every slot, Progress, LastX, Score and Confirmed are
// cleared and QuestionNumber set to 1; Acked is left as it is.
void ResetContestantTable();

// Race state (whether the rounds run and whether this copy races in a host's game are
// GameSession's).
// A tick of the race ticker is running (it may be waiting in the commentary, the goodbye
// or the unload step).
extern bool TickInProgress;
extern qint32 WinIndex;
extern qint32 PlaceIndex;
extern qint32 ShowIndex;
extern qint32 FinisherIndex;
extern qint32 QuestionCountdown;
extern quint8 TurnIndex;
extern qint32 CommentaryCycles;
extern bool MovedSinceCommentary;
extern qint32 ShutdownCountdown;   // timer ticks left before the program ends; 0 = off
extern qint32 DexterityCountdown;  // positive while the dexterity test runs


// The network game under way (the host and the inviter are GameSession's);
// ForgetNetworkGame (GameMessages.h) clears it.
extern QString LastRosterPayload;      // payload of the last "RS" or "RP" acted on
// Sender address followed by the payload of the last question shown; the same question
// delivered again is acknowledged but not shown again.
extern QString LastQuestionKey;
