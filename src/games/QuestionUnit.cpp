#include "QuestionUnit.h"

TQuestionForm *QuestionForm = nullptr;

TQuestionForm::TQuestionForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("QuestionForm"));
    setWindowTitle(QStringLiteral("Question ?"));
    resize(572, 88);
    QuestionForm = this;
}

TQuestionForm::~TQuestionForm()
{
    if (QuestionForm == this)
        QuestionForm = nullptr;
}

void RunQuestionRound()
{
}
