// The race's screen: the monitor that its source names (the main window installs one:
// the monitor that holds it), else the primary screen; an empty rectangle without a
// screen. The race measures "the screen" from this monitor's top-left corner: size() is
// its size, desktopPoint turns a race position into a desktop position and racePoint the
// reverse. Windows and characters placed with these stay on that monitor. main makes it
// and hands it to the race and the stage.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

using RaceScreenSource = std::function<QRect()>;

class RaceScreen
{
public:
    void setSource(RaceScreenSource source) { source_ = std::move(source); }
    QRect rect() const;
    QSize size() const { return rect().size(); }
    QPoint desktopPoint(QPoint racePosition) const { return racePosition + rect().topLeft(); }
    QPoint racePoint(QPoint desktopPosition) const { return desktopPosition - rect().topLeft(); }

private:
    RaceScreenSource source_;
};
