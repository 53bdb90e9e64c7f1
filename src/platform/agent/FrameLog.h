// Timing of the character platform, for the benchmarks. With HOLLYFROST_BENCH_FRAMES
// naming a file, how late each new frame was painted after its due time is written there
// when the program ends, one line per frame in microseconds; and the glide steps, frame
// changes and first showings of a picture are counted, with the CPU time the game's
// thread spent on each.
#pragma once

#include <QtGlobal>

namespace agent::detail {

bool frameLogEnabled();
void recordFrameLateness(qint64 microseconds);

enum class BenchWork { GlideStep, FrameChange, FirstShowing, Kinds };

struct BenchTotals
{
    qint64 count[int(BenchWork::Kinds)] = {};
    qint64 cpuNs[int(BenchWork::Kinds)] = {};   // work within another counts for that one only
};

// The totals since the program started.
BenchTotals benchTotals();

// Counts one piece of work and the thread's CPU time while it lives (when the log is on).
class BenchSpan
{
public:
    explicit BenchSpan(BenchWork work);
    ~BenchSpan();
    BenchSpan(const BenchSpan &) = delete;
    BenchSpan &operator=(const BenchSpan &) = delete;

private:
    BenchWork work_;
    bool on_;
    qint64 startNs_ = 0, innerNs_ = 0;
    BenchSpan *outer_ = nullptr;
};

} // namespace agent::detail
