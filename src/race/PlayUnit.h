// The race-track window with the scoreboard.
// Created once at start-up, hidden until its feature shows it.
#pragma once

#include <QWidget>

class TPlayForm : public QWidget
{
    Q_OBJECT
public:
    explicit TPlayForm(QWidget *parent = nullptr);
    ~TPlayForm() override;
};

// The window created at start-up (nullptr before and after).
extern TPlayForm *PlayForm;
