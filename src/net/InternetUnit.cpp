#include "InternetUnit.h"

TInternetForm *InternetForm = nullptr;

TInternetForm::TInternetForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("InternetForm"));
    setWindowTitle(QStringLiteral("Internet Form"));
    resize(300, 120);
    InternetForm = this;
}

TInternetForm::~TInternetForm()
{
    if (InternetForm == this)
        InternetForm = nullptr;
}

void SendGameDescription()
{
}

void SendRoster()
{
}

void SendStartRace()
{
}

void SendPositions()
{
}

void SendCancel()
{
}
