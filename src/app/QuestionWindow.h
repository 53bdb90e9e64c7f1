// The always-on-top question window of the puzzle games: it shows the question on show
// (QuestionRound.h) with its caption, takes the typed answer, and says "Wrong - Try
// Again" until the answer is right or the question is skipped.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QuestionRound;
class RaceScreen;

class QuestionWindow : public QWidget
{
    Q_OBJECT
public:
    // questions: the question round it shows and answers.
    QuestionWindow(QuestionRound &questions, const RaceScreen &raceScreen, QWidget *parent = nullptr);

    // Hands the typed answer to the question round ("Answer", or Enter in the box).
    void AnswerBtnClick();
    // Gives the question up ("Skip Question").
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
    QuestionRound &questions;
    const RaceScreen &raceScreen;
    void placeControls();
    void showQuestion(const QString &caption, const QString &prompt);
    void showWrongAnswer();
    void showRightAnswer();
    void closeQuestion();
    void showReportState();
};
