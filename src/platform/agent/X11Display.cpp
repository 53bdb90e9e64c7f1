#include "X11Display.h"

#include "ServerFrames.h"
#include "X11Surface.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QVector>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <xcb/shape.h>

namespace agent::detail {

namespace {

X11Display *theDisplay = nullptr;
bool tried = false;
int pixmapsToRefuse = 0;

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// The pixel format of images of that depth: 32 bits a pixel, rows padded to 32 bits.
bool writesDepth(const xcb_setup_t *setup, int depth)
{
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == depth)
            return it.data->bits_per_pixel == (depth == 1 ? 1 : 32) && it.data->scanline_pad == 32;
    return false;
}

} // namespace

X11Display *X11Display::instance()
{
    if (tried)
        return theDisplay;
    tried = true;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || qGuiApp->devicePixelRatio() != 1.0)
        return nullptr;
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(qgetenv("DISPLAY").constData(), &screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    auto *display = new X11Display(connection, screen);
    if (!display->setUp()) {
        delete display;
        return nullptr;
    }
    theDisplay = display;
    return theDisplay;
}

X11Display::X11Display(xcb_connection_t *connection, int screen)
    : QObject(QCoreApplication::instance()), connection_(connection), screenNumber_(screen)
{
}

X11Display::~X11Display()
{
    if (theDisplay == this)
        theDisplay = nullptr;
    for (xcb_generic_event_t *event : queued_)
        std::free(event);
    xcb_disconnect(connection_);   // the server frees every window and pixmap of ours
}

bool X11Display::setUp()
{
    const xcb_setup_t *setup = xcb_get_setup(connection_);
    // Pixels are written as this machine holds them in memory: little-endian only.
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST
        || setup->bitmap_format_bit_order != XCB_IMAGE_ORDER_LSB_FIRST || !writesDepth(setup, 1)
        || !writesDepth(setup, 24))
        return false;
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber_ && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return false;
    const xcb_screen_t *screen = screens.data;
    root_ = screen->root;
    bool rootRgb = false;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t *v = visuals.data;
            const bool rgb = v->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v->red_mask == 0xff0000
                             && v->green_mask == 0xff00 && v->blue_mask == 0xff;
            if (v->visual_id == screen->root_visual)
                rootRgb = rgb && depths.data->depth == 24;
            if (rgb && depths.data->depth == 32 && !argbVisual_)
                argbVisual_ = v->visual_id;
        }
    }
    const xcb_query_extension_reply_t *shape = xcb_get_extension_data(connection_, &xcb_shape_id);
    if (!rootRgb || !shape || !shape->present)
        return false;
    if (!writesDepth(setup, 32))
        argbVisual_ = 0;
    if (argbVisual_) {
        argbColormap_ = xcb_generate_id(connection_);
        xcb_create_colormap(connection_, XCB_COLORMAP_ALLOC_NONE, argbColormap_, root_, argbVisual_);
    }
    netWmName_ = internAtom(connection_, "_NET_WM_NAME");
    utf8String_ = internAtom(connection_, "UTF8_STRING");
    maxRequestBytes_ = size_t(xcb_get_maximum_request_length(connection_)) * 4;

    const uint32_t noExposures[] = {0};
    auto makeGc = [this, &noExposures](int depth) {
        xcb_drawable_t on = root_;
        xcb_pixmap_t scratch = 0;
        if (depth != 24) {
            scratch = xcb_generate_id(connection_);
            xcb_create_pixmap(connection_, uint8_t(depth), scratch, root_, 1, 1);
            on = scratch;
        }
        const xcb_gcontext_t gc = xcb_generate_id(connection_);
        xcb_create_gc(connection_, gc, on, XCB_GC_GRAPHICS_EXPOSURES, noExposures);
        if (scratch)
            xcb_free_pixmap(connection_, scratch);
        return gc;
    };
    gc1_ = makeGc(1);
    gc24_ = makeGc(24);
    if (argbVisual_)
        gc32_ = makeGc(32);
    flush();
    if (xcb_connection_has_error(connection_))
        return false;

    notifier_ = new QSocketNotifier(xcb_get_file_descriptor(connection_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11Display::readEvents);
    return true;
}

xcb_gcontext_t X11Display::gc(int depth) const
{
    return depth == 1 ? gc1_ : depth == 32 ? gc32_ : gc24_;
}

void X11Display::refuseNextPixmaps(int count)
{
    pixmapsToRefuse = count;
}

xcb_pixmap_t X11Display::makePixmap(int depth, QSize size)
{
    const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
    if (pixmapsToRefuse > 0) {
        --pixmapsToRefuse;
        size = QSize(0, 0);   // BadValue
    }
    xcb_create_pixmap(connection_, uint8_t(depth), pixmap, root_, uint16_t(size.width()), uint16_t(size.height()));
    return pixmap;
}

xcb_pixmap_t X11Display::upload(const QImage &image, int depth)
{
    const xcb_pixmap_t pixmap = makePixmap(depth, image.size());
    putImage(pixmap, depth, image, QPoint(0, 0));
    return pixmap;
}

void X11Display::putImage(xcb_drawable_t target, int depth, const QImage &image, QPoint at)
{
    const int bytesPerLine = int(image.bytesPerLine());
    const int rowsPerRequest = qMax(1, int((maxRequestBytes_ - 64) / size_t(bytesPerLine)));
    const uint8_t format = depth == 1 ? XCB_IMAGE_FORMAT_XY_PIXMAP : XCB_IMAGE_FORMAT_Z_PIXMAP;
    for (int y = 0; y < image.height(); y += rowsPerRequest) {
        const int rows = qMin(rowsPerRequest, image.height() - y);
        xcb_put_image(connection_, format, target, gc(depth), uint16_t(image.width()), uint16_t(rows),
                      int16_t(at.x()), int16_t(at.y() + y), 0, uint8_t(depth), uint32_t(bytesPerLine * rows),
                      image.constScanLine(y));
    }
}

void X11Display::shapeRectangles(xcb_window_t window, int kind, const QRegion &region)
{
    QVector<xcb_rectangle_t> rectangles;
    for (const QRect &r : region)
        rectangles.append({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
    xcb_shape_rectangles(connection_, XCB_SHAPE_SO_SET, uint8_t(kind), XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                         uint32_t(rectangles.size()), rectangles.constData());
}

void X11Display::freePixmap(xcb_pixmap_t pixmap)
{
    if (!pixmap)
        return;
    if (!failedPixmaps_.remove(pixmap))
        xcb_free_pixmap(connection_, pixmap);
}

X11Display::Batch::Batch() : display_(theDisplay)
{
    if (display_)
        ++display_->batches_;
}

X11Display::Batch::~Batch()
{
    if (display_ && --display_->batches_ == 0 && std::exchange(display_->flushHeld_, false))
        display_->flush();
}

void X11Display::flush()
{
    if (batches_ > 0) {
        flushHeld_ = true;
        return;
    }
    xcb_flush(connection_);
    // Writing may have read events into the connection's queue, where the notifier does
    // not see them: they are handled from the event loop, not inside a drawing call.
    const bool none = queued_.empty();
    while (xcb_generic_event_t *event = xcb_poll_for_queued_event(connection_))
        queued_.push_back(event);
    if (none && !queued_.empty())
        QMetaObject::invokeMethod(this, &X11Display::readEvents, Qt::QueuedConnection);
}

void X11Display::readEvents()
{
    while (!queued_.empty()) {
        xcb_generic_event_t *event = queued_.front();
        queued_.pop_front();
        handle(event);
        std::free(event);
    }
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
        handle(event);
        std::free(event);
    }
    if (xcb_connection_has_error(connection_))
        notifier_->setEnabled(false);   // the server is gone; the toolkit ends the program
}

void X11Display::handle(xcb_generic_event_t *event)
{
    const uint8_t type = event->response_type & 0x7f;
    if (type == 0) {
        handleError(reinterpret_cast<const xcb_generic_error_t *>(event));
        return;
    }
    xcb_window_t window = 0;
    switch (type) {
    case XCB_EXPOSE: window = reinterpret_cast<xcb_expose_event_t *>(event)->window; break;
    case XCB_BUTTON_PRESS: window = reinterpret_cast<xcb_button_press_event_t *>(event)->event; break;
    case XCB_CONFIGURE_NOTIFY: window = reinterpret_cast<xcb_configure_notify_event_t *>(event)->window; break;
    case XCB_DESTROY_NOTIFY: window = reinterpret_cast<xcb_destroy_notify_event_t *>(event)->window; break;
    default: return;
    }
    if (X11Surface *surface = surfaces_.value(window))
        surface->handle(event);   // may remove itself (lost window) or end the program
}

void X11Display::handleError(const xcb_generic_error_t *error)
{
    // A window destroyed by another program: its surface makes a new one.
    X11Surface *surface = surfaces_.value(error->resource_id);
    if (surface && (error->error_code == XCB_WINDOW || error->error_code == XCB_DRAWABLE)) {
        surface->lost();
        return;
    }
    // A pixmap the server refused: a window's canvas (the window then paints itself), or
    // frames, which are then drawn straight into their windows, and the windows showing
    // one are drawn again.
    if (error->error_code == XCB_PIXMAP || error->error_code == XCB_DRAWABLE) {
        const auto surfaces = surfaces_;
        for (X11Surface *surface : surfaces)
            if (surface->ownsCanvas(error->resource_id)) {
                surface->canvasRefused();
                flush();
                return;
            }
        bool ours = false;
        for (const auto &weak : frameSets_)
            if (const auto set = weak.lock(); set && set->owns(error->resource_id))
                ours = true;
        if (ours && !failedPixmaps_.contains(error->resource_id)) {
            failedPixmaps_.insert(error->resource_id, true);
            for (X11Surface *surface : surfaces)
                surface->redraw();
            flush();
        }
    }
    // Anything else (a pixmap refused before it was drawn into) shows up as one of the
    // errors above, or did no harm.
}

std::shared_ptr<ServerFrames> X11Display::frames(const std::shared_ptr<FrameStore> &store, QSize size, bool argb,
                                                 QRgb backdrop)
{
    std::erase_if(frameSets_, [](const std::weak_ptr<ServerFrames> &weak) { return weak.expired(); });
    for (const auto &weak : frameSets_)
        if (auto set = weak.lock(); set && set->matches(store.get(), size, argb, backdrop))
            return set;
    auto set = std::make_shared<ServerFrames>(this, store, size, argb, backdrop);
    frameSets_.push_back(set);
    return set;
}

} // namespace agent::detail
