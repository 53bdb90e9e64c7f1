// The play request dialog.
// Created once at start-up, hidden until its feature shows it.
#pragma once

#include <QWidget>

class TReqPlayForm : public QWidget
{
    Q_OBJECT
public:
    explicit TReqPlayForm(QWidget *parent = nullptr);
    ~TReqPlayForm() override;
};

// The window created at start-up (nullptr before and after).
extern TReqPlayForm *ReqPlayForm;
