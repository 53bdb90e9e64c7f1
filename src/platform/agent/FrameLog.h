// Timing of frame changes, for the benchmarks: with HOLLYFROST_BENCH_FRAMES naming a file,
// how late each new frame was painted after its due time is written there when the
// program ends, one line per frame in microseconds.
#pragma once

#include <QtGlobal>

namespace agent::detail {

bool frameLogEnabled();
void recordFrameLateness(qint64 microseconds);

} // namespace agent::detail
