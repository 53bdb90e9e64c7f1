// Timing of the main window's 250 ms tick, for the race benchmark: with
// HOLLYFROST_BENCH_TICKS naming a file, every tick's wall time is written there when the
// program ends, one line each: microseconds and whether the tick held a deliberate wait
// (the commentary, the goodbye and unload steps).
#pragma once

#include <QtGlobal>

bool TickLogEnabled();
void RecordTick(qint64 microseconds, bool waited);
