#include "TickLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QPair>

namespace {

struct TickLog {
    QString path = qEnvironmentVariable("HOLLYFROST_BENCH_TICKS");
    QList<QPair<qint64, bool>> ticks;

    ~TickLog()
    {
        if (path.isEmpty() || ticks.isEmpty())
            return;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        for (const auto &[microseconds, waited] : ticks)
            file.write(QByteArray::number(microseconds) + (waited ? " wait\n" : " tick\n"));
    }
};

TickLog &log()
{
    static TickLog instance;
    return instance;
}

} // namespace

bool TickLogEnabled()
{
    return !log().path.isEmpty();
}

void RecordTick(qint64 microseconds, bool waited)
{
    log().ticks.append({microseconds, waited});
}
