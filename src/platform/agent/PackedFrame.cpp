#include "PackedFrame.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace agent::detail {

namespace {

// Each run starts with a 16-bit word: the top two bits say what follows, the low 14 bits
// how many pixels the run covers (1 to kMaxRun). The runs of a row cover it exactly.
enum RunKind : quint16 { Transparent = 0, Literal = 1, Repeated = 2 };
constexpr int kMaxRun = 0x3fff;
constexpr int kMinRepeat = 3;   // shorter repeats are cheaper as literal pixels

// Writes runs into a buffer sized beforehand for the worst case (no row needs more than
// four bytes a pixel and one run word); it grows should that ever fall short.
class RunWriter
{
public:
    explicit RunWriter(QByteArray &out) : out_(out) {}
    void put(RunKind kind, int length, const QRgb *pixels = nullptr, int count = 0)
    {
        const quint16 word = quint16(kind << 14 | length);
        const qsizetype needed = used_ + qsizetype(sizeof word) + qsizetype(count) * qsizetype(sizeof(QRgb));
        if (needed > out_.size())
            out_.resize(qMax(needed, 2 * out_.size()));
        std::memcpy(out_.data() + used_, &word, sizeof word);
        used_ += qsizetype(sizeof word);
        if (count > 0) {
            const qsizetype bytes = qsizetype(count) * qsizetype(sizeof(QRgb));
            std::memcpy(out_.data() + used_, pixels, size_t(bytes));
            used_ += bytes;
        }
    }
    qsizetype used() const { return used_; }

private:
    QByteArray &out_;
    qsizetype used_ = 0;
};

// How many pixels from x on equal line[x] (at most limit).
int repeatLength(const QRgb *line, int x, int limit)
{
    int n = 1;
    while (n < limit && line[x + n] == line[x])
        ++n;
    return n;
}

void packRow(RunWriter &out, const QRgb *line, int width)
{
    int x = 0;
    while (x < width) {
        const int limit = qMin(kMaxRun, width - x);
        if (qAlpha(line[x]) == 0) {
            int n = 1;
            while (n < limit && qAlpha(line[x + n]) == 0)
                ++n;
            out.put(Transparent, n);
            x += n;
            continue;
        }
        const int repeat = repeatLength(line, x, limit);
        if (repeat >= kMinRepeat) {
            out.put(Repeated, repeat, line + x, 1);
            x += repeat;
            continue;
        }
        // Literal pixels up to a transparent pixel or the start of a repeat.
        int n = repeat;
        while (n < limit && qAlpha(line[x + n]) != 0 && repeatLength(line, x + n, qMin(kMinRepeat, limit - n)) < kMinRepeat)
            ++n;
        out.put(Literal, n, line + x, n);
        x += n;
    }
}

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

// The pixels of |argb| (premultiplied ARGB) at least half opaque, offset by |at|: as
// QRegion(QBitmap::fromImage(argb.createAlphaMask(Qt::ThresholdAlphaDither))) makes it,
// in a tenth of the time. Rows with the same runs make one band of rectangles, the form
// QRegion keeps (and compares) regions in.
QRegion opaqueShape(const QImage &argb, QPoint at)
{
    std::vector<QRect> rects;
    std::vector<std::pair<int, int>> runs, last;   // [from, to) of a row, and of the band above
    qsizetype bandStart = 0;   // the band above's first rectangle
    const int width = argb.width();
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        runs.clear();
        for (int x = 0; x < width;) {
            while (x < width && qAlpha(line[x]) < 128)
                ++x;
            const int from = x;
            while (x < width && qAlpha(line[x]) >= 128)
                ++x;
            if (x > from)
                runs.emplace_back(from, x);
        }
        if (!runs.empty() && runs == last && rects.back().bottom() == y + at.y() - 1) {
            for (auto r = rects.begin() + bandStart; r != rects.end(); ++r)
                r->setBottom(y + at.y());
            continue;
        }
        if (runs.empty())
            continue;
        bandStart = qsizetype(rects.size());
        for (const auto &[from, to] : runs)
            rects.emplace_back(at.x() + from, at.y() + y, to - from, 1);
        std::swap(last, runs);
    }
    QRegion shape;
    shape.setRects(rects.data(), int(rects.size()));
    return shape;
}

} // namespace

CroppedFrame cropFrame(const QImage &whole)
{
    const QImage argb = whole.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRect drawn = argb.isNull() ? QRect() : opaqueBounds(argb);
    CroppedFrame frame;
    if (drawn.isEmpty()) {
        frame.part = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        frame.part.fill(Qt::transparent);
        frame.drawn = QRect(0, 0, 1, 1);
        frame.shape = QRegion(0, 0, 1, 1);   // an empty mask would show the whole window
        return frame;
    }
    frame.part = argb.copy(drawn);
    frame.drawn = drawn;
    frame.shape = opaqueShape(frame.part, drawn.topLeft());
    if (frame.shape.isEmpty())
        frame.shape = QRegion(0, 0, 1, 1);   // only faint pixels: keep the window shaped
    return frame;
}

PackedFrame packFrame(const QImage &whole)
{
    const CroppedFrame cropped = cropFrame(whole);
    const QImage &part = cropped.part;
    PackedFrame frame;
    frame.drawn = cropped.drawn;
    frame.shape = cropped.shape;
    frame.runs.resize(qsizetype(part.height()) * (qsizetype(part.width()) * 4 + 2));
    RunWriter writer(frame.runs);
    for (int y = 0; y < part.height(); ++y)
        packRow(writer, reinterpret_cast<const QRgb *>(part.constScanLine(y)), part.width());
    frame.runs.truncate(writer.used());
    frame.runs = qCompress(frame.runs, 1);
    return frame;
}

QImage unpackFrame(const PackedFrame &frame)
{
    QImage image(frame.drawn.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    // Runs that do not inflate (never written so) leave the picture transparent.
    const QByteArray runs = frame.runs.isEmpty() ? QByteArray() : qUncompress(frame.runs);
    const char *at = runs.constData();
    const char *const end = at + runs.size();
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        int x = 0;
        while (x < width) {
            quint16 word = 0;
            if (end - at < qsizetype(sizeof word))
                break;   // runs cut short: the rest stays transparent
            std::memcpy(&word, at, sizeof word);
            at += sizeof word;
            const int n = qMin(int(word & kMaxRun), width - x);
            if (n <= 0)
                break;
            const auto kind = RunKind(word >> 14);
            const qsizetype bytes = qsizetype(kind == Literal ? n : 1) * qsizetype(sizeof(QRgb));
            if (kind != Transparent && end - at < bytes)
                break;
            if (kind == Literal) {
                std::memcpy(line + x, at, size_t(bytes));
                at += bytes;
            } else if (kind == Repeated) {
                QRgb pixel;
                std::memcpy(&pixel, at, sizeof pixel);
                at += bytes;
                std::fill_n(line + x, n, pixel);
            } else {
                std::fill_n(line + x, n, QRgb(0));
            }
            x += n;
        }
        if (x < width)
            std::fill_n(line + x, width - x, QRgb(0));
    }
    return image;
}

} // namespace agent::detail
