#include "FrameLog.h"

#include <QFile>
#include <QList>

namespace agent::detail {

namespace {

struct FrameLog
{
    QString path = qEnvironmentVariable("HOLLYFROST_BENCH_FRAMES");
    QList<qint64> lateness;

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

} // namespace

bool frameLogEnabled()
{
    return !log().path.isEmpty();
}

void recordFrameLateness(qint64 microseconds)
{
    log().lateness.append(microseconds);
}

} // namespace agent::detail
