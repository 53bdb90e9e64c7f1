#include "MoveEcho.h"

#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

namespace agent::detail {

bool IsMoveEcho(const QWidget *window, const QByteArray &eventType, const void *message)
{
    if (!window || !message || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_CONFIGURE_NOTIFY)
        return false;
    const QWindow *handle = window->windowHandle();
    // Scaled windows count in device pixels that need not map one to one to the
    // toolkit's; leave them to the toolkit.
    if (!handle || handle->devicePixelRatio() != 1.0)
        return false;
    const auto *configure = reinterpret_cast<const xcb_configure_notify_event_t *>(event);
    if (configure->window != configure->event || configure->window != xcb_window_t(window->winId()))
        return false;
    // A window manager's frame reports the position within the frame, which differs from
    // the window's own: such notices go through.
    const QRect held = handle->geometry();
    return configure->x == held.x() && configure->y == held.y() && configure->width == held.width()
           && configure->height == held.height() && configure->border_width == 0;
}

} // namespace agent::detail
