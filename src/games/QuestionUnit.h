// The always-on-top question window of the puzzle games.
// Created once at start-up, hidden until its feature shows it.
#pragma once

#include <QWidget>

class TQuestionForm : public QWidget
{
    Q_OBJECT
public:
    explicit TQuestionForm(QWidget *parent = nullptr);
    ~TQuestionForm() override;
};

// The window created at start-up (nullptr before and after).
extern TQuestionForm *QuestionForm;

// The question round of the puzzle games, run every third race round. Until the puzzles
// exist it puts no question.
void RunQuestionRound();
