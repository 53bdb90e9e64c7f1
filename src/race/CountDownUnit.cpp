#include "CountDownUnit.h"

TCountDownForm *CountDownForm = nullptr;

TCountDownForm::TCountDownForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("CountDownForm"));
    setWindowTitle(QStringLiteral("CountDownForm"));
    resize(141, 135);
    CountDownForm = this;
}

TCountDownForm::~TCountDownForm()
{
    if (CountDownForm == this)
        CountDownForm = nullptr;
}
