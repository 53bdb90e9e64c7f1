// The frames one character window draws: its file's packed pictures (FrameStore, shared
// with other characters of the same file) unpacked when shown, scaled to the window's
// size, with the window's shape. A small cache keeps the last few ready, so that a frame
// painted again, or the frame after next of a two-frame loop, is not unpacked again; the
// least recently shown frame leaves the cache first.
#pragma once

#include "FrameStore.h"

#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <QSize>
#include <QVector>

#include <memory>

namespace agent::detail {

// A frame ready to draw: its drawn part, where that sits in the window, and the window's
// shape (the pixels that are not fully transparent; one pixel for a blank frame).
struct ReadyFrame
{
    QPixmap pixmap;
    QPoint offset;
    QRegion shape;
};

// A frame as an image, for a caller that keeps it elsewhere.
struct FrameImage
{
    QImage image;
    QPoint offset;
    QRegion shape;
};

class FrameCache
{
public:
    // Unpacking is cheap; scaling is not, and a scaled window keeps as many frames.
    static constexpr int kDefaultCapacity = 4;

    FrameCache(std::shared_ptr<FrameStore> store, int capacity = kDefaultCapacity);

    int count() const { return store_->count(); }
    const std::shared_ptr<FrameStore> &store() const { return store_; }
    QSize naturalSize() const { return store_->naturalSize(); }
    QSize size() const { return size_; }
    int capacity() const { return capacity_; }
    int readyCount() const { return int(ready_.size()); }
    bool isReady(int picture) const;

    // Frames are drawn at this size from now on; a new size drops the ready frames.
    void setSize(QSize size);
    // The frame of that picture (0 <= picture < count()), made if need be. A picture
    // that does not decode shows as a blank frame. The reference stays valid until the
    // next call of frame, setSize or clear.
    const ReadyFrame &frame(int picture);
    // Drops every ready frame (a hidden character needs none).
    void clear() { ready_.clear(); }
    // The frame of that picture as an image, for a caller that keeps it itself (the X
    // server's pixmaps): not kept here, and not packed first (FrameStore::cropped).
    FrameImage image(int picture) const;

private:
    ReadyFrame make(int picture) const;
    // The cropped picture scaled to the frames' size.
    FrameImage fit(CroppedFrame frame) const;

    struct Entry
    {
        int picture;
        ReadyFrame frame;
    };
    std::shared_ptr<FrameStore> store_;
    QSize size_;
    int capacity_;
    QVector<Entry> ready_;   // most recently shown last
};

} // namespace agent::detail
