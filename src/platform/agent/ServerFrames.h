// The frames of one character file at one size as pixmaps in the X server, shared by every
// character window that shows them. A frame is uploaded when first shown, straight from
// the decoded picture (never packed and unpacked on the way): the picture as the window
// shows it (over the window's backdrop colour, or with true alpha and the shadow for a
// compositing manager) and, for the window's shape, a 1-bit mask of the figure. The set
// holds at most kBudgetBytes of pixmaps, room for every picture of a character file as we
// make them (132 pictures of about 20 KB), so that a picture once shown is never decoded
// again; past that the frame shown least recently leaves first, and is uploaded again
// when shown again.
#pragma once

#include "FrameCache.h"

#include <QHash>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QRegion>

#include <xcb/xcb.h>

#include <memory>

namespace agent::detail {

class X11Display;

class ServerFrames
{
public:
    static constexpr qint64 kBudgetBytes = 4 * 1024 * 1024;
    // How far right and down the shadow falls with a compositing manager.
    static constexpr QPoint kShadowOffset{3, 4};

    struct Frame
    {
        QRect area;          // what the pixmap covers, window coordinates
        QRect maskArea;      // what the mask covers, window coordinates
        QRegion shape;       // the figure, window coordinates
        xcb_pixmap_t pixmap = 0, mask = 0;
        qint64 bytes = 0;
        quint64 lastUse = 0;
    };

    ServerFrames(X11Display *display, std::shared_ptr<FrameStore> store, QSize size, bool argb, QRgb backdrop);
    ~ServerFrames();
    ServerFrames(const ServerFrames &) = delete;
    ServerFrames &operator=(const ServerFrames &) = delete;

    bool matches(const FrameStore *store, QSize size, bool argb, QRgb backdrop) const;
    bool owns(xcb_pixmap_t pixmap) const;
    bool argb() const { return argb_; }
    int depth() const { return argb_ ? 32 : 24; }

    // The frame of that picture, uploaded from |cache| (at this set's size) if the server
    // does not hold it. Valid until the next call.
    const Frame &frame(const FrameCache &cache, int picture);
    // The picture's pixels as its pixmap holds them (to draw straight into a window
    // when the server refused the pixmap).
    QImage pixels(const FrameCache &cache, int picture) const;

    int heldCount() const { return int(frames_.size()); }
    qint64 heldBytes() const { return bytes_; }

private:
    QImage compose(const FrameImage &ready) const;
    void evict();

    QPointer<X11Display> display_;   // gone at the very end of the program
    std::shared_ptr<FrameStore> store_;
    QSize size_;
    bool argb_;
    QRgb backdrop_;
    QHash<int, Frame> frames_;
    qint64 bytes_ = 0;
    quint64 uses_ = 0;
};

} // namespace agent::detail
