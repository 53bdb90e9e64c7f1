#include "ServerFrames.h"

#include "FrameLog.h"
#include "X11Display.h"

#include <QPainter>

namespace agent::detail {

namespace {

// A 1-bit mask of |shape| over |area|, least significant bit first, as the server reads it.
QImage maskOf(const QRegion &shape, const QRect &area)
{
    QImage mask(area.size(), QImage::Format_MonoLSB);
    mask.fill(0);
    for (const QRect &r : shape.translated(-area.topLeft()) & QRect(QPoint(0, 0), area.size()))
        for (int y = r.top(); y <= r.bottom(); ++y) {
            uchar *line = mask.scanLine(y);
            for (int x = r.left(); x <= r.right(); ++x)
                line[x >> 3] |= uchar(1u << (x & 7));
        }
    return mask;
}

} // namespace

ServerFrames::ServerFrames(X11Display *display, std::shared_ptr<FrameStore> store, QSize size, bool argb,
                           QRgb backdrop)
    : display_(display), store_(std::move(store)), size_(size), argb_(argb), backdrop_(backdrop)
{
}

ServerFrames::~ServerFrames()
{
    if (!display_)
        return;
    for (const Frame &frame : std::as_const(frames_)) {
        display_->freePixmap(frame.pixmap);
        display_->freePixmap(frame.mask);
    }
    display_->flush();
}

bool ServerFrames::matches(const FrameStore *store, QSize size, bool argb, QRgb backdrop) const
{
    return store == store_.get() && size == size_ && argb == argb_ && backdrop == backdrop_;
}

bool ServerFrames::owns(xcb_pixmap_t pixmap) const
{
    for (const Frame &frame : frames_)
        if (frame.pixmap == pixmap || frame.mask == pixmap)
            return true;
    return false;
}

const ServerFrames::Frame &ServerFrames::frame(const FrameCache &cache, int picture)
{
    auto found = frames_.find(picture);
    if (found == frames_.end()) {
        const BenchSpan showing(BenchWork::FirstShowing);
        const FrameImage ready = cache.image(picture);
        Frame frame;
        frame.area = QRect(ready.offset, ready.image.size() + (argb_ ? QSize(kShadowOffset.x(), kShadowOffset.y()) : QSize(0, 0)));
        frame.shape = ready.shape;
        frame.maskArea = QRect(ready.offset, ready.image.size()) | ready.shape.boundingRect();
        frame.pixmap = display_->upload(compose(ready), depth());
        frame.mask = display_->upload(maskOf(frame.shape, frame.maskArea), 1);
        frame.bytes = qint64(frame.area.width()) * frame.area.height() * 4
                      + qint64(frame.maskArea.width() + 7) / 8 * frame.maskArea.height();
        frame.lastUse = ++uses_;
        bytes_ += frame.bytes;
        frames_.insert(picture, frame);
        evict();   // never the newest
        found = frames_.find(picture);
    }
    found->lastUse = ++uses_;
    return *found;
}

QImage ServerFrames::pixels(const FrameCache &cache, int picture) const
{
    return compose(cache.image(picture));
}

QImage ServerFrames::compose(const FrameImage &ready) const
{
    const QImage figure = ready.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!argb_) {
        // The window is opaque: the figure's soft edges lie over the backdrop colour.
        QImage opaque(figure.size(), QImage::Format_RGB32);
        opaque.fill(backdrop_);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, figure);
        return opaque;
    }
    // The figure's silhouette in a soft dark tone below and right of it, then the figure.
    QImage shadow = figure;
    QPainter tint(&shadow);
    tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tint.fillRect(shadow.rect(), QColor(0, 0, 0, 90));
    tint.end();
    QImage alpha(figure.size() + QSize(kShadowOffset.x(), kShadowOffset.y()), QImage::Format_ARGB32_Premultiplied);
    alpha.fill(Qt::transparent);
    QPainter painter(&alpha);
    painter.drawImage(kShadowOffset, shadow);
    painter.drawImage(0, 0, figure);
    return alpha;
}

void ServerFrames::evict()
{
    while (bytes_ > kBudgetBytes && frames_.size() > 1) {
        auto oldest = frames_.begin();
        for (auto it = frames_.begin(); it != frames_.end(); ++it)
            if (it->lastUse < oldest->lastUse)
                oldest = it;
        display_->freePixmap(oldest->pixmap);
        display_->freePixmap(oldest->mask);
        bytes_ -= oldest->bytes;
        frames_.erase(oldest);
    }
}

} // namespace agent::detail
