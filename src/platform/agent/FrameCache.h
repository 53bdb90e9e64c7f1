// The pictures of one character window. A character file holds over a hundred frame
// pictures, but a character shows only a handful of them at a time (one animation and its
// way back to rest), so the pictures stay as the PNG bytes of the file and are decoded
// when first shown, into a small cache of ready frames: cropped to the drawn part, scaled
// to the window's size, with the window's shape. The least recently shown frame leaves
// the cache first.
#pragma once

#include <QByteArray>
#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <QSize>
#include <QVector>

namespace agent::detail {

// A frame ready to draw: its drawn part, where that sits in the window, and the window's
// shape (the pixels that are not fully transparent; one pixel for a blank frame).
struct ReadyFrame
{
    QPixmap pixmap;
    QPoint offset;
    QRegion shape;
};

class FrameCache
{
public:
    // Enough for the longest looping animation (moving, speaking) and the rest frame;
    // an animation that plays once decodes each of its frames once whatever the bound.
    static constexpr int kDefaultCapacity = 8;

    // pictures: PNG bytes, one per frame picture; natural: the frame size in the file.
    FrameCache(QVector<QByteArray> pictures, QSize natural, int capacity = kDefaultCapacity);

    int count() const { return int(pictures_.size()); }
    const QVector<QByteArray> &pictures() const { return pictures_; }
    QSize naturalSize() const { return natural_; }
    QSize size() const { return size_; }
    int capacity() const { return capacity_; }
    int readyCount() const { return int(ready_.size()); }
    bool isReady(int picture) const;

    // Frames are drawn at this size from now on; a new size drops the ready frames.
    void setSize(QSize size);
    // The frame of that picture (0 <= picture < count()), decoded if need be. A picture
    // that does not decode shows as a blank frame. The reference stays valid until the
    // next call of frame, setSize or clear.
    const ReadyFrame &frame(int picture);
    // Drops every ready frame (a hidden character needs none).
    void clear() { ready_.clear(); }

private:
    ReadyFrame make(int picture) const;

    struct Entry
    {
        int picture;
        ReadyFrame frame;
    };
    QVector<QByteArray> pictures_;
    QSize natural_, size_;
    int capacity_;
    QVector<Entry> ready_;   // most recently shown last
};

// The whole frame picture at its natural size, as the character file holds it (for
// tests and tools; a picture that does not decode gives a null image).
QImage decodePicture(const QByteArray &png);

} // namespace agent::detail
