// Drawing characters with true alpha when the desktop has a compositing manager: without
// one a window is opaque, and the character keeps a 1-bit outline (its window shape); with
// one the window has an alpha channel (soft edges, a shadow) and only its input shape
// follows the figure, so that clicks still land only on the figure.
#pragma once

#include <QRegion>

class QWidget;

namespace agent {

// True when a compositing manager runs on the X11 screen (it owns _NET_WM_CM_S0).
bool CompositorRunning();
// Clicks on |window| land only inside |region| (window coordinates); elsewhere they go to
// what lies below. X11 only; elsewhere nothing happens.
void SetInputShape(QWidget *window, const QRegion &region);

} // namespace agent
