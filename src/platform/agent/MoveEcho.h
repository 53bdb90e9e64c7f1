// The window system's echo of a move a character window made itself. Every move of a
// top-level window comes back from the X server as a configure notice; the toolkit answers
// each one with two round trips to the server (where is the window, how wide is its
// frame), which for a character gliding 15 steps a second cost more than the move itself.
// A notice that only repeats the geometry the window already holds tells nothing new and
// can be dropped; any other notice (a window manager placing it, a frame, a resize) goes
// through as before.
#pragma once

#include <QByteArray>

class QWidget;

namespace agent::detail {

// True when |message| (a native event of |eventType| delivered to |window|) is a configure
// notice that repeats |window|'s own position and size. X11 only; elsewhere false.
bool IsMoveEcho(const QWidget *window, const QByteArray &eventType, const void *message);

} // namespace agent::detail
