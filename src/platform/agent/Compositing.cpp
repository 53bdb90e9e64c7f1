#include "Compositing.h"

#include <QGuiApplication>
#include <QVector>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace agent {

namespace {

xcb_connection_t *x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

bool CompositorRunning()
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return false;
    static const char name[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
    if (!atom)
        return false;
    bool owned = false;
    if (atom->atom != XCB_ATOM_NONE) {
        xcb_get_selection_owner_reply_t *owner =
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
        owned = owner && owner->owner != XCB_WINDOW_NONE;
        std::free(owner);
    }
    std::free(atom);
    return owned;
}

void SetInputShape(QWidget *window, const QRegion &region)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection || !window)
        return;
    // The native window counts in device pixels.
    const qreal ratio = window->devicePixelRatioF();
    QVector<xcb_rectangle_t> rectangles;
    for (const QRect &rect : region) {
        const QRect device(QPoint(qFloor(rect.left() * ratio), qFloor(rect.top() * ratio)),
                           QPoint(qCeil((rect.right() + 1) * ratio) - 1, qCeil((rect.bottom() + 1) * ratio) - 1));
        rectangles.append({static_cast<int16_t>(device.x()), static_cast<int16_t>(device.y()),
                           static_cast<uint16_t>(device.width()), static_cast<uint16_t>(device.height())});
    }
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                         static_cast<xcb_window_t>(window->winId()), 0, 0,
                         static_cast<uint32_t>(rectangles.size()), rectangles.constData());
    xcb_flush(connection);
}

} // namespace agent
