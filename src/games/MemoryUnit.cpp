#include "MemoryUnit.h"

TMemform *Memform = nullptr;

TMemform::TMemform(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Memform"));
    setWindowTitle(QStringLiteral("Memory Test"));
    resize(580, 115);
    Memform = this;
}

TMemform::~TMemform()
{
    if (Memform == this)
        Memform = nullptr;
}
