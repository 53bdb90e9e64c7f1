#include "PlayUnit.h"

TPlayForm *PlayForm = nullptr;

TPlayForm::TPlayForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PlayForm"));
    setWindowTitle(QStringLiteral("Hollyfrost Games"));
    resize(688, 453);
    PlayForm = this;
}

TPlayForm::~TPlayForm()
{
    if (PlayForm == this)
        PlayForm = nullptr;
}
