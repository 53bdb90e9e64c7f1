// The puzzle questions without their windows: the question round that puts one question
// to every contestant who is free to take one (Contestants.h), the question on show on
// this computer, and its answer or skip. Where the answer goes is chosen where the
// question is shown: a question put on this computer is scored straight into slot 0; a
// question that came from the race host is answered with an "RB" (right) or "RK" (skip)
// report to that host. The question and memory windows show what its signals
// say (questionShown, memoryTestShown, answerRejected, answerAccepted, questionClosed,
// questionReportChanged) and answer through submit() and skip().
#pragma once

#include "Messages.h"
#include "QuestionSources.h"
#include "Waits.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class CharacterStage;
class Dialogs;
class Dispatcher;
class GameSession;
class PlaySettings;
class Roster;

enum class AnswerVerdict {
    Ignored,   // no question on show, or a right answer to it is being reported: not taken
    Wrong,     // answerRejected: the question stays on show
    Right,     // answerAccepted: scored here or reported to the host, then closed
};

// The questions of this copy: the round it puts as the race's host, and the question on
// show here with its answer, skip and report. The race owns it (Race::questions()); the
// question and memory windows are given it.
class QuestionRound : public QObject
{
    Q_OBJECT
public:
    // What it uses: the session (the race it belongs to, whether this copy joined one),
    // the roster and its records, the play settings, the stage (the dexterity test's
    // Announcer), the boxes and the dispatcher (its messages and the transport).
    QuestionRound(GameSession &session, Roster &roster, PlaySettings &settings, CharacterStage &stage,
                  Dialogs &dialogs, Dispatcher &dispatcher);
    ~QuestionRound();
    QuestionRound(const QuestionRound &) = delete;
    QuestionRound &operator=(const QuestionRound &) = delete;

    // The question round, run by the race loop every third round of a puzzle race on the
    // machine that runs the race ("Practice", "Host a Game"): builds the next question,
    // puts it to every free contestant (an "RZ" to each remote one, resent until it is
    // acknowledged) and, once the remote ones acknowledged, shows it to the local player
    // if the local player is free.
    Task<> runRound();

    // Shows a question put on this computer: its answer is scored here, into slot 0.
    // payload is the question's fields as an "RZ" carries them (the message text after
    // its code and sender name): kind "&&" answer "&&" question text ["&&" number ...].
    void showHere(const QString &payload);
    // Shows a question that arrived from the race host at address host in an "RZ"
    // message: its answer or skip is reported to that host. Acknowledges every delivery
    // with "AK" to the host.
    void showFromHost(const QString &host, const Msg::Question &question);
    void showFromHost(const QString &host, const QString &payload);

    // The question on show: its expected answer, and the address of the race host that
    // sent it (empty when it was put on this computer).
    const QString &answer() const { return answer_; }
    QString sender() const;

    // The player's answer to the question on show.
    AnswerVerdict submit(const QString &typed);
    // The player gives the question up: half the distance and half the right answers are
    // lost. False when it was not taken (no question on show, or its skip is being
    // reported); the question closes once the skip is scored or reported.
    bool skip();
    // A right answer or a skip on the question on show is being reported to the host (its
    // button is off meanwhile). A report still resent for an earlier question does not
    // count.
    bool answerReportPending() const;
    bool skipReportPending() const;

    // Takes the question on show, a memory test included, off the screen: nothing is
    // answered or scored once the race it belongs to has ended, and its report is not
    // resent any more.
    void withdraw();

    // Installs the handlers of "RZ", "RB" and "RK" (GameMessages.h) and of a click on a
    // character (a click on the Announcer answers a dexterity question).
    void installMessageHandlers();

    // A click on a character: a click on the Announcer during the dexterity test answers
    // its question.
    void characterClicked(const QString &identity);

    // A new race starts: forgets the last question shown (a new race may put the same
    // question text again) and re-arms the one-time report of an unwritable question file.
    void reset();

signals:
    // A question to type the answer of: the question window shows it with this caption.
    void questionShown(const QString &caption, const QString &prompt);
    // A memory test: the memory window plays the sequence and takes the player's entries.
    void memoryTestShown(const QString &sequence);
    void answerRejected();   // wrong: the question stays on show
    void answerAccepted();   // right: the question leaves the screen while it is reported
    void questionClosed();   // answered, skipped or withdrawn: its windows close
    // A report of a right answer or a skip on the question on show started or ended
    // (answerReportPending, skipReportPending): the buttons that would send it again are
    // off meanwhile.
    void questionReportChanged();

private:
    // The report on one question as under way for as long as it lives.
    class PendingReport;
    // Where the answer to the question on show goes: scored here, or reported to the host.
    class AnswerDestination;
    class ScoredHere;
    class ReportedToHost;
    void show(std::shared_ptr<AnswerDestination> destination, const Msg::Question &question);
    bool isRightAnswer(const QString &typed) const;
    Msg::Report ownReport() const;
    Task<> takeRightAnswer();
    Task<> takeSkip();
    void closeQuestion();
    void endDexterityTest();

    GameSession &session_;
    Roster &roster_;
    PlaySettings &settings_;
    CharacterStage &stage_;
    Dialogs &dialogs_;
    Dispatcher &dispatcher_;
    QuestionDraws draws;
    QString answer_;
    // Where the answer to the question on show goes (scored here before any question).
    std::shared_ptr<AnswerDestination> answerGoes_;
    // Counts the questions shown, so that a report that waited for its acknowledgement can
    // tell whether another question has been put on show meanwhile.
    quint64 questionsShown = 0;
    // The number of the question on show, as its "RZ" gave it (none when it gave none).
    std::optional<int> currentNumber;
    // The letters of the word scramble on show (empty for other questions): any word of
    // the list made of them is a right answer, not only the word the scramble was made
    // from.
    QString scrambledLetters;
    // A question is on show and may be answered or skipped.
    bool questionOpen = false;
    // The question (its count in questionsShown) whose right answer, or skip, is being
    // reported to the host; 0 for none. A report belongs to its question: one still resent
    // for an earlier question blocks nothing of the question on show.
    quint64 answerReportFor = 0;
    quint64 skipReportFor = 0;
};

// The race host's handling of a report from a remote contestant's slot: "RB" (a right
// answer) gives the slot one more right answer and frees it for the next question; "RK"
// (a skip) frees it and halves its Progress and Score. The local player's own answers
// and skips go through the same functions with slot 0. Slots outside 0..5 are ignored.
void ApplyRightAnswer(Roster &roster, int slot);
void ApplySkip(Roster &roster, int slot);
