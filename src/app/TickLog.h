// Timing of the race's 250 ms tick, for the race benchmark: with HOLLYFROST_BENCH_TICKS
// naming a file, every tick's wall time is written there when the log goes (main keeps it
// until the program ends), one line each: microseconds and whether the tick held a
// deliberate wait (the commentary, the goodbye and unload steps).
#pragma once

#include <QList>
#include <QPair>
#include <QString>

class TickLog
{
public:
    // path: the file written at the end; empty for no log.
    explicit TickLog(QString path);
    ~TickLog();
    TickLog(const TickLog &) = delete;
    TickLog &operator=(const TickLog &) = delete;

    bool enabled() const { return !path.isEmpty(); }
    void record(qint64 microseconds, bool waited);

private:
    QString path;
    QList<QPair<qint64, bool>> ticks;
};
