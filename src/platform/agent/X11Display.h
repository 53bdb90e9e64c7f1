// The character windows' own connection to the X server. Character windows are plain X
// windows drawn by the server from pixmaps (X11Surface); they live on a connection of
// their own rather than the toolkit's, for three reasons: their events (presses, exposes,
// the echo of each move) wake only this connection's socket notifier on the main thread,
// never the toolkit's reader thread and its window bookkeeping; the server's errors about
// them (a window destroyed by another program, a pixmap the server could not allocate)
// come back here, where they are handled, instead of being logged by the toolkit; and no
// request of ours can upset the toolkit's own sequence of requests and replies.
//
// Nothing on the drawing path waits for the server: requests are sent, and errors, which
// arrive later with the events, name the resource that failed.
#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QPoint>
#include <QRegion>

#include <xcb/xcb.h>

#include <deque>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace agent::detail {

class FrameStore;
class ServerFrames;
class X11Surface;

class X11Display : public QObject
{
public:
    // Holds back flushes while it lives (one turn of the character clock): what is sent
    // meanwhile leaves in one write when it ends.
    class Batch
    {
    public:
        Batch();
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        QPointer<X11Display> display_;
    };

    // The connection, made on first use; nullptr when character windows are toolkit
    // windows here: not the toolkit's X11 platform, a scaled screen (HiDPI), a server
    // whose pixel layout this code does not write, or no connection.
    static X11Display *instance();
    ~X11Display() override;

    xcb_connection_t *connection() const { return connection_; }
    xcb_window_t root() const { return root_; }
    // The 32-bit visual with an alpha channel and its colour map (0 when there is none).
    xcb_visualid_t argbVisual() const { return argbVisual_; }
    xcb_colormap_t argbColormap() const { return argbColormap_; }
    xcb_atom_t netWmName() const { return netWmName_; }
    xcb_atom_t utf8String() const { return utf8String_; }
    // A graphics context for drawables of that depth (1, 24 or 32), without exposures.
    xcb_gcontext_t gc(int depth) const;

    // A new pixmap of that depth and size, its contents undefined. Sent without waiting:
    // a pixmap the server could not make shows up later as an error naming it.
    xcb_pixmap_t makePixmap(int depth, QSize size);
    // A new pixmap of that depth holding |image| (RGB32 for 24, premultiplied ARGB32 for
    // 32, MonoLSB for 1). Sent without waiting: a pixmap the server could not make is
    // reported later through pixmapFailed().
    xcb_pixmap_t upload(const QImage &image, int depth);
    // Writes |image| into a drawable of that depth at |at|, in pieces the server takes.
    void putImage(xcb_drawable_t target, int depth, const QImage &image, QPoint at);
    // The window's shape of that kind (XCB_SHAPE_SK_*) set to |region|.
    void shapeRectangles(xcb_window_t window, int kind, const QRegion &region);
    void freePixmap(xcb_pixmap_t pixmap);
    // True when the server refused that pixmap (it was never made).
    bool pixmapFailed(xcb_pixmap_t pixmap) const { return failedPixmaps_.contains(pixmap); }
    // Sends what is waiting to the server (at the end of the batch, in one).
    void flush();

    void addSurface(xcb_window_t window, X11Surface *surface) { surfaces_.insert(window, surface); }
    void removeSurface(xcb_window_t window) { surfaces_.remove(window); }

    // The server-side frames of one character file at one size, shared by every
    // character window showing them.
    std::shared_ptr<ServerFrames> frames(const std::shared_ptr<FrameStore> &store, QSize size, bool argb,
                                         QRgb backdrop);

    // Tests: the next |count| pixmaps are refused by the server (asked for with an
    // impossible size), as when it runs out of memory.
    static void refuseNextPixmaps(int count);

private:
    X11Display(xcb_connection_t *connection, int screen);
    bool setUp();
    void readEvents();
    void handle(xcb_generic_event_t *event);
    void handleError(const xcb_generic_error_t *error);

    xcb_connection_t *connection_;
    int screenNumber_;
    xcb_window_t root_ = 0;
    xcb_visualid_t argbVisual_ = 0;
    xcb_colormap_t argbColormap_ = 0;
    xcb_atom_t netWmName_ = 0, utf8String_ = 0;
    xcb_gcontext_t gc1_ = 0, gc24_ = 0, gc32_ = 0;
    size_t maxRequestBytes_ = 0;
    QSocketNotifier *notifier_ = nullptr;
    int batches_ = 0;               // batches alive
    bool flushHeld_ = false;        // a flush was held back by a batch
    QHash<xcb_window_t, X11Surface *> surfaces_;
    std::deque<xcb_generic_event_t *> queued_;   // read while writing, not handled yet
    QHash<xcb_pixmap_t, bool> failedPixmaps_;   // refused by the server, until freed
    std::vector<std::weak_ptr<ServerFrames>> frameSets_;
};

} // namespace agent::detail
