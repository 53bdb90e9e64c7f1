// The always-on-top question window of the puzzle games, and the question round that
// puts one question to every contestant who is free to take one. A question put on this
// computer is scored straight into slot 0; a question that came from the race host is
// answered with an "RB" (right) or "RK" (skip) report to that host.
#pragma once

#include "QuestionSources.h"
#include "RaceModel.h"
#include "Waits.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

class QuestionWindow : public QWidget
{
    Q_OBJECT
public:
    explicit QuestionWindow(QWidget *parent = nullptr);
    ~QuestionWindow() override;

    // Checks the typed answer (only while AnswerBtn is enabled: other windows press it
    // programmatically). Right: scores or reports it and closes the window. Wrong: shows
    // WrongLabel and leaves the question on show.
    void AnswerBtnClick();
    // Gives the question up: half the distance and half the right answers are lost.
    void SkipBtnClick();

    QLabel *Question = nullptr;
    QLabel *WrongLabel = nullptr;
    QLineEdit *Answer = nullptr;
    QPushButton *AnswerBtn = nullptr;
    QPushButton *SkipBtn = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void placeControls();
    // The answer or the skip with its report to the host, and the resends of the report.
    Task<> answer();
    Task<> skip();
};

// The window created at start-up (nullptr before and after).
extern QuestionWindow *TheQuestionWindow;

// The question on show: its expected answer, and the address of the race host that sent
// it (empty when it was put on this computer).
extern QString CurrentAnswer;
extern QString CurrentSender;

// The question round, run by the race loop every third round of a puzzle race on the
// machine that runs the race ("Practice", "Host a Game"): builds the next question,
// sends it ("RZ") to every free remote contestant, waits for their acknowledgements and
// then shows it to the local player if the local player is free.
Task<> RunQuestionRound();

// Shows a question: payload = code "&&" answer "&&" question text ["&&" number ...].
// sender is the host's address for a question that arrived in an "RZ" message (the
// message text after its code and sender name), empty for one put on this computer.
// Acknowledges every delivery with "AK" to the sender.
void ShowQuestion(const QString &sender, const QString &payload);

// The race host's handling of a report from a remote contestant's slot: "RB" (a right
// answer) gives the slot one more right answer and frees it for the next question; "RK"
// (a skip) frees it and halves its Progress and Score. The local player's own answers
// and skips go through the same functions with slot 0. Slots outside 0..5 are ignored.
void ApplyRightAnswer(int slot);
void ApplySkip(int slot);

// Installs the handlers of "RZ", "RB" and "RK" (GameMessages.h).
void InstallQuestionMessageHandlers();

// A new race starts: forgets the last question shown (a new race may put the same
// question text again) and re-arms the one-time report of an unwritable question file.
void ResetQuestionRound();

// A memory question ("MT") is handed to the memory window, which installs its starter
// when it is made (MemoryTestWindow.h); without one the question is not shown.
using MemoryTestStarter = std::function<void(const QString &sequence)>;
void SetMemoryTestStarter(MemoryTestStarter starter);
