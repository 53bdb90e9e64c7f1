#include "FrameCache.h"

#include <QBitmap>
#include <QBuffer>
#include <QImageReader>

#include <algorithm>

namespace agent::detail {

namespace {

constexpr int kMaxPictureSide = 2048;

// The smallest rectangle holding every pixel that is not fully transparent.
QRect opaqueBounds(const QImage &argb)
{
    const int width = argb.width(), height = argb.height();
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        int x = 0;
        while (x < width && qAlpha(line[x]) == 0)
            ++x;
        if (x == width)
            continue;
        int last = width - 1;
        while (qAlpha(line[last]) == 0)
            --last;
        left = qMin(left, x);
        right = qMax(right, last);
        top = qMin(top, y);
        bottom = y;
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

QImage decodePicture(const QByteArray &png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    const QSize size = reader.size();
    // The header is read first: a picture claiming to be huge is not decoded at all.
    if (!size.isValid() || size.width() > kMaxPictureSide || size.height() > kMaxPictureSide)
        return {};
    QImage picture;
    if (!reader.read(&picture))
        return {};
    return picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

FrameCache::FrameCache(QVector<QByteArray> pictures, QSize natural, int capacity)
    : pictures_(std::move(pictures)), natural_(natural), size_(natural), capacity_(qMax(1, capacity))
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

ReadyFrame FrameCache::make(int picture) const
{
    const QImage whole = picture >= 0 && picture < pictures_.size() ? decodePicture(pictures_[picture]) : QImage();
    QRect drawn = whole.isNull() ? QRect() : opaqueBounds(whole);
    QImage image;
    if (drawn.isEmpty()) {
        // A blank frame (or one that would not decode): one transparent pixel.
        drawn = QRect(0, 0, 1, 1);
        image = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else {
        image = whole.copy(drawn);
    }

    ReadyFrame frame;
    if (size_ == natural_) {
        frame.pixmap = QPixmap::fromImage(image);
        frame.offset = drawn.topLeft();
    } else {
        const double sx = double(size_.width()) / natural_.width();
        const double sy = double(size_.height()) / natural_.height();
        const QRect target(qRound(drawn.x() * sx), qRound(drawn.y() * sy),
                           qMax(1, qRound(image.width() * sx)), qMax(1, qRound(image.height() * sy)));
        image = image.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        frame.pixmap = QPixmap::fromImage(image);
        frame.offset = target.topLeft();
    }
    if (image.hasAlphaChannel())
        frame.shape = QRegion(QBitmap::fromImage(image.createAlphaMask(Qt::ThresholdAlphaDither)));
    else
        frame.shape = QRegion(image.rect());
    frame.shape.translate(frame.offset);
    if (frame.shape.isEmpty())
        frame.shape = QRegion(0, 0, 1, 1);   // an empty mask would show the whole window
    return frame;
}

} // namespace agent::detail
