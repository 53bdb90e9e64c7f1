// The memory-test window.
// Created once at start-up, hidden until its feature shows it.
#pragma once

#include <QWidget>

class TMemform : public QWidget
{
    Q_OBJECT
public:
    explicit TMemform(QWidget *parent = nullptr);
    ~TMemform() override;
};

// The window created at start-up (nullptr before and after).
extern TMemform *Memform;
