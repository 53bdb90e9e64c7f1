#include "InternetUnit.h"

TInternetForm *InternetForm = nullptr;
bool AckFlag = false;

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

void SendGameMessage(const QString &code, const QString &address, const QString &payload)
{
    Q_UNUSED(code);
    Q_UNUSED(address);
    Q_UNUSED(payload);
}
