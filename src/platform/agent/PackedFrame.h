// A frame picture kept small and quick to draw. A character's pictures are drawn art:
// wide transparent margins, flat fills and short runs of edge pixels. Each row of the
// drawn part is stored as runs (transparent, repeated pixel, literal pixels), and the
// runs are deflated at the fastest level: smaller than the PNG, and unpacked in about a
// tenth of the time a PNG takes to decode (no filters, a third of the bytes to inflate).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QRegion>

namespace agent::detail {

struct PackedFrame
{
    QRect drawn;        // the drawn part within the whole frame (1 x 1 at 0,0 when blank)
    QRegion shape;      // its pixels at least half opaque, in frame coordinates
    QByteArray runs;    // the drawn part's pixels, premultiplied ARGB, as deflated runs
};

// A whole frame picture cropped to its drawn part, not packed.
struct CroppedFrame
{
    QImage part;        // the drawn part, premultiplied ARGB (1 x 1 transparent when blank)
    QRect drawn;        // as in PackedFrame
    QRegion shape;
};

// Crops a whole frame picture (any format; a null image gives a blank frame).
CroppedFrame cropFrame(const QImage &whole);

// Packs a whole frame picture (any format; a null image gives a blank frame).
PackedFrame packFrame(const QImage &whole);

// The drawn part as a premultiplied ARGB image of drawn.size().
QImage unpackFrame(const PackedFrame &frame);

} // namespace agent::detail
