// Which of Qt's window-system platforms the game runs on. Characters must be placed on
// the screen, which a Wayland session does not let a program do; its X11 server
// (XWayland) does.
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

// "xcb" on a Wayland session that offers XWayland (DISPLAY set), unless the user chose a
// platform with QT_QPA_PLATFORM; empty otherwise (Qt's own choice). Without XWayland the
// game stays a Wayland client rather than failing to start.
QByteArray ChooseQtPlatform(const QProcessEnvironment &environment);
// Sets QT_QPA_PLATFORM to that choice; call before the application object is made.
void PreferX11OnWayland();
// False when nothing names a display to show the game on: no DISPLAY, no WAYLAND_DISPLAY
// and no QT_QPA_PLATFORM (the toolkit would then abort). The game then says so and ends.
bool DisplayNamed(const QProcessEnvironment &environment);
