#include "AgentTime.h"

#include <QString>

#include <cmath>
#include <cstdlib>

namespace agent::detail {

double timeScale()
{
    static const double scale = [] {
        bool ok = false;
        const double value = qEnvironmentVariable("HOLLYFROST_TIME_SCALE").toDouble(&ok);
        return (ok && value > 0 && std::isfinite(value)) ? value : 1.0;
    }();
    return scale;
}

qint64 scaledMs(double ms)
{
    if (ms <= 0)
        return 0;
    const double scaled = ms * timeScale();
    return qMax<qint64>(1, qint64(std::llround(scaled)));
}

} // namespace agent::detail
