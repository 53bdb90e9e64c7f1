// The round red countdown window shown before a race.
// Created once at start-up, hidden until its feature shows it.
#pragma once

#include <QWidget>

class TCountDownForm : public QWidget
{
    Q_OBJECT
public:
    explicit TCountDownForm(QWidget *parent = nullptr);
    ~TCountDownForm() override;
};

// The window created at start-up (nullptr before and after).
extern TCountDownForm *CountDownForm;
