#include "ReqPlayUnit.h"

TReqPlayForm *ReqPlayForm = nullptr;

TReqPlayForm::TReqPlayForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ReqPlayForm"));
    setWindowTitle(QStringLiteral("Request to Play"));
    resize(357, 110);
    ReqPlayForm = this;
}

TReqPlayForm::~TReqPlayForm()
{
    if (ReqPlayForm == this)
        ReqPlayForm = nullptr;
}
