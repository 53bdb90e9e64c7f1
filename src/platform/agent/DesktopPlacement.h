// Window flags of the character and balloon windows, which place themselves anywhere on
// the desktop. On a Wayland desktop they run through XWayland, whose window manager (the
// compositor) places ordinary windows itself and ignores their moves; there they bypass
// the window manager, as pop-up menus do, so that their moves are honoured.
#pragma once

#include <QGuiApplication>
#include <QWidget>

namespace agent {

inline bool OnXWayland()
{
    return QGuiApplication::platformName() == QLatin1String("xcb")
           && (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
               || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"));
}

inline Qt::WindowFlags FloatingWindowFlags()
{
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                            | Qt::WindowDoesNotAcceptFocus;
    if (OnXWayland())
        flags |= Qt::X11BypassWindowManagerHint;
    return flags;
}

} // namespace agent
