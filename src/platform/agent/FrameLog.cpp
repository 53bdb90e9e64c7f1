#include "FrameLog.h"

#include <QFile>
#include <QList>

#include <ctime>
#include <utility>

namespace agent::detail {

namespace {

struct FrameLog
{
    QString path = qEnvironmentVariable("HOLLYFROST_BENCH_FRAMES");
    QList<qint64> lateness;
    BenchTotals totals;
    BenchSpan *open = nullptr;   // the innermost span

    ~FrameLog()
    {
        if (path.isEmpty() || lateness.isEmpty())
            return;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        QByteArray text;
        for (qint64 microseconds : std::as_const(lateness))
            text += QByteArray::number(microseconds) + '\n';
        file.write(text);
    }
};

FrameLog &log()
{
    static FrameLog instance;
    return instance;
}

qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

bool frameLogEnabled()
{
    return !log().path.isEmpty();
}

void recordFrameLateness(qint64 microseconds)
{
    log().lateness.append(microseconds);
}

BenchTotals benchTotals()
{
    return log().totals;
}

BenchSpan::BenchSpan(BenchWork work) : work_(work), on_(frameLogEnabled())
{
    if (!on_)
        return;
    outer_ = std::exchange(log().open, this);
    startNs_ = threadCpuNs();
}

BenchSpan::~BenchSpan()
{
    if (!on_)
        return;
    const qint64 spent = threadCpuNs() - startNs_;
    FrameLog &l = log();
    ++l.totals.count[int(work_)];
    l.totals.cpuNs[int(work_)] += spent - innerNs_;
    if (outer_)
        outer_->innerNs_ += spent;
    l.open = outer_;
}

} // namespace agent::detail
