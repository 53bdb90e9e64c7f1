// The puzzle questions without their windows: the question round that puts one question
// to every contestant who is free to take one, the question on show on this computer, and
// its answer or skip. A question put on this computer is scored straight into slot 0; a
// question that came from the race host is answered with an "RB" (right) or "RK" (skip)
// report to that host. The question and memory windows show what the session's signals
// say (questionShown, memoryTestShown, answerRejected, answerAccepted, questionClosed,
// questionReportChanged) and answer through SubmitAnswer and SkipQuestion.
#pragma once

#include "Messages.h"
#include "Waits.h"

#include <QString>

// The question on show: its expected answer, and the address of the race host that sent
// it (empty when it was put on this computer).
extern QString CurrentAnswer;
extern QString CurrentSender;

// The question round, run by the race loop every third round of a puzzle race on the
// machine that runs the race ("Practice", "Host a Game"): builds the next question,
// sends it ("RZ") to every free remote contestant, waits for their acknowledgements and
// then shows it to the local player if the local player is free.
Task<> RunQuestionRound();

// Shows a question. sender is the host's address for a question that arrived in an "RZ"
// message, empty for one put on this computer. Acknowledges every delivery with "AK" to
// the sender.
void ShowQuestion(const QString &sender, const Msg::Question &question);
// The same for the fields of an "RZ" as they travel (the message text after its code and
// sender name): kind "&&" answer "&&" question text ["&&" number ...].
void ShowQuestion(const QString &sender, const QString &payload);

enum class AnswerVerdict {
    Ignored,   // no question on show, or a right answer to it is being reported: not taken
    Wrong,     // answerRejected: the question stays on show
    Right,     // answerAccepted: scored here or reported to the host, then closed
};
// The player's answer to the question on show.
AnswerVerdict SubmitAnswer(const QString &typed);
// The player gives the question up: half the distance and half the right answers are
// lost. False when it was not taken (no question on show, or its skip is being
// reported); the question closes once the skip is scored or reported.
bool SkipQuestion();
// A right answer or a skip on the question on show is being reported to the host (its
// button is off meanwhile). A report still resent for an earlier question does not count.
bool AnswerReportPending();
bool SkipReportPending();

// Takes the question on show, a memory test included, off the screen: nothing is
// answered or scored once the race it belongs to has ended.
void WithdrawQuestion();

// The race host's handling of a report from a remote contestant's slot: "RB" (a right
// answer) gives the slot one more right answer and frees it for the next question; "RK"
// (a skip) frees it and halves its Progress and Score. The local player's own answers
// and skips go through the same functions with slot 0. Slots outside 0..5 are ignored.
void ApplyRightAnswer(int slot);
void ApplySkip(int slot);

// Installs the handlers of "RZ", "RB" and "RK" (GameMessages.h) and of a click on a
// character (a click on the Announcer answers a dexterity question).
void InstallQuestionHandlers();

// A new race starts: forgets the last question shown (a new race may put the same
// question text again) and re-arms the one-time report of an unwritable question file.
void ResetQuestionRound();
