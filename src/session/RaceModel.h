// The contestant records (the roster, Roster.h, adds, finds and lists them) and the
// program-wide race and network-game state. Slot n of the contestants is row n of the
// roster and the character "Player" + n on the stage.
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
    SlotState Confirmed = SlotUnconfirmed;
    qint32 Score = 0;           // right answers in this race
    qint32 QuestionNumber = 1;  // next question-file record for this contestant
};

// The contestants and the race of this copy: main makes it and hands it to the roster.
// Whether the rounds run and whether this copy races in a host's game are GameSession's;
// the standings and counters of one race are its RaceRun's.
struct RaceModel {
    // Slot n is row n of the roster and the character "Player" + n on the stage; the
    // roster holds slots 0 to Roster::count() - 1. A slot's Confirmed is changed through
    // Roster::setSlotState, so that the list shows it.
    ContestantRecord contestants[MaxContestants];
    qint32 shutdownCountdown = 0;       // ticks left before the program ends; 0 = off
    qint32 dexterityCountdown = 0;      // positive while the dexterity test runs
    qint32 dexterityJumps = 0;          // the Announcer's jumps in the dexterity test
    // A tick of the race ticker is running (it may be waiting in the commentary, the
    // goodbye or the unload step).
    bool tickInProgress = false;

    // The network game under way (the host and the inviter are GameSession's);
    // ForgetNetworkGame (GameMessages.h) clears it.
    QString lastRosterPayload;   // payload of the last "RS" or "RP" acted on
    // Sender address followed by the payload of the last question shown; the same
    // question delivered again is acknowledged but not shown again.
    QString lastQuestionKey;
    // "RP" carries a trailing number, one more with each set of positions the host sends:
    // a late or replayed set (the network may reorder) must not undo a newer one.
    int lastPositionsTaken = 0;   // joiner: the number of the last set taken (0: none yet)
};

