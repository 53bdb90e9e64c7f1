// The round red countdown window shown before a race: big white numbers from 9 to 0.
#pragma once

#include "Waits.h"

#include <QWidget>

class QLabel;

class CountdownWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CountdownWindow(QWidget *parent = nullptr);
    ~CountdownWindow() override;

    // Shows the window, counts 9 down to 0 (one number each 500 ms, 5 s in all), closes.
    Task<> RunCountdown();

    QLabel *Label1 = nullptr;
};

// The window created at start-up (nullptr before and after).
extern CountdownWindow *TheCountdown;
