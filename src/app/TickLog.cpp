#include "TickLog.h"

#include <QFile>

TickLog::TickLog(QString file) : path(std::move(file))
{
}

TickLog::~TickLog()
{
    if (path.isEmpty() || ticks.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    for (const auto &[microseconds, waited] : ticks)
        file.write(QByteArray::number(microseconds) + (waited ? " wait\n" : " tick\n"));
}

void TickLog::record(qint64 microseconds, bool waited)
{
    ticks.append({microseconds, waited});
}
