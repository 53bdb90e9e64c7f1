// The race's screen, held by the session.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

// The race's screen: the monitor that the source set by SetRaceScreenSource names (the
// main window installs one: the monitor that holds it), else the primary screen; an
// empty rectangle without a screen. The race measures "the screen" from this monitor's
// top-left corner: ScreenSize() is its size, DesktopPoint turns a race position into a
// desktop position and RacePoint the reverse. Windows and characters placed with these
// stay on that monitor.
using RaceScreenSource = std::function<QRect()>;
void SetRaceScreenSource(RaceScreenSource source);
QRect RaceScreen();
QSize ScreenSize();
QPoint DesktopPoint(QPoint racePosition);
QPoint RacePoint(QPoint desktopPosition);
