#include "FrameCache.h"

#include <QBitmap>

#include <algorithm>

namespace agent::detail {

FrameCache::FrameCache(std::shared_ptr<FrameStore> store, int capacity)
    : store_(std::move(store)), size_(store_->naturalSize()), capacity_(qMax(1, capacity))
{
}

bool FrameCache::isReady(int picture) const
{
    return std::any_of(ready_.cbegin(), ready_.cend(), [picture](const Entry &e) { return e.picture == picture; });
}

void FrameCache::setSize(QSize size)
{
    if (size == size_)
        return;
    size_ = size;
    ready_.clear();
}

const ReadyFrame &FrameCache::frame(int picture)
{
    for (qsizetype i = ready_.size() - 1; i >= 0; --i) {
        if (ready_[i].picture == picture) {
            if (i != ready_.size() - 1)
                ready_.move(i, ready_.size() - 1);
            return ready_.last().frame;
        }
    }
    if (ready_.size() >= capacity_)
        ready_.removeFirst();
    ready_.append(Entry{picture, make(picture)});
    return ready_.last().frame;
}

FrameImage FrameCache::image(int picture) const
{
    return fit(picture >= 0 && picture < count() ? store_->cropped(picture) : cropFrame(QImage()));
}

ReadyFrame FrameCache::make(int picture) const
{
    static const PackedFrame blank = packFrame(QImage());
    const PackedFrame &packed = picture >= 0 && picture < count() ? store_->packed(picture) : blank;
    FrameImage frame = fit({unpackFrame(packed), packed.drawn, packed.shape});
    return {QPixmap::fromImage(std::move(frame.image)), frame.offset, std::move(frame.shape)};
}

FrameImage FrameCache::fit(CroppedFrame frame) const
{
    const QSize natural = naturalSize();
    if (size_ == natural)
        return {std::move(frame.part), frame.drawn.topLeft(), std::move(frame.shape)};
    const double sx = double(size_.width()) / natural.width();
    const double sy = double(size_.height()) / natural.height();
    const QRect drawn = frame.drawn;
    const QRect target(qRound(drawn.x() * sx), qRound(drawn.y() * sy),
                       qMax(1, qRound(drawn.width() * sx)), qMax(1, qRound(drawn.height() * sy)));
    FrameImage scaled;
    scaled.image = frame.part.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    scaled.offset = target.topLeft();
    scaled.shape = QRegion(QBitmap::fromImage(scaled.image.createAlphaMask(Qt::ThresholdAlphaDither)));
    scaled.shape.translate(scaled.offset);
    if (scaled.shape.isEmpty())
        scaled.shape = QRegion(0, 0, 1, 1);   // an empty mask would show the whole window
    return scaled;
}

} // namespace agent::detail
