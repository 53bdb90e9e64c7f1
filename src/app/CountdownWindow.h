// The round red countdown window shown before a race: big white numbers from 9 to 0.
// It shows the number the race tells it (Race::countdownNumber),
// appearing on the first and closing on CountdownOver; the race keeps the time.
#pragma once

#include <QWidget>

class QLabel;
class Race;
class RaceScreen;

class CountdownWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CountdownWindow(const Race &race, QWidget *parent = nullptr);

    QLabel *Number = nullptr;

private:
    void showNumber(int number);

    const RaceScreen &raceScreen;
};
