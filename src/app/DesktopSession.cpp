#include "DesktopSession.h"

QByteArray ChooseQtPlatform(const QProcessEnvironment &environment)
{
    if (!environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return QByteArray();
    const bool wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty()
                         || environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
    if (!wayland || environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return QByteArray();
    return QByteArrayLiteral("xcb");
}

void PreferX11OnWayland()
{
    const QByteArray platform = ChooseQtPlatform(QProcessEnvironment::systemEnvironment());
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
}

bool DisplayNamed(const QProcessEnvironment &environment)
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!environment.value(QLatin1String(name)).isEmpty())
            return true;
    }
    return false;
}
