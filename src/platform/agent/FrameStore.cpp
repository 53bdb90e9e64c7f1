#include "FrameStore.h"

#include <QBuffer>
#include <QImageReader>

#include <utility>

namespace agent::detail {

namespace {

constexpr int kMaxPictureSide = 2048;
constexpr size_t kCheckSeed = 0x5bd1e995u;

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

FrameStore::FrameStore(QVector<QByteArray> pictures, QSize natural, Reader reader)
    : pngs_(std::move(pictures)), reader_(std::move(reader)), packed_(size_t(pngs_.size())), natural_(natural)
{
    // Two 64-bit hashes with different seeds over every picture and its length: quick
    // (a file's pictures in about a millisecond), and equal pictures always match. Two
    // different files matching by chance is beyond concern; a file made to match another
    // could only show that other character's pictures.
    quint64 hashes[2] = {0x48f1u, 0x9e3779b97f4a7c15u};
    for (const QByteArray &png : std::as_const(pngs_)) {
        for (quint64 &hash : hashes)
            hash = qHash(png, size_t(hash)) ^ (hash * 31 + quint64(png.size()));
        if (reader_)
            checks_ << Check{png.size(), qHash(png, kCheckSeed)};
    }
    fingerprint_ = QByteArray(reinterpret_cast<const char *>(hashes), sizeof hashes);
    if (reader_)
        pngs_ = {};
}

QImage FrameStore::decodeWhole(int picture, bool keep)
{
    QByteArray png;
    if (!reader_) {
        png = keep ? pngs_[picture] : std::exchange(pngs_[picture], {});
    } else {
        const Check &check = checks_[picture];
        png = reader_(picture, check.size);
        if (png.size() != check.size || qHash(png, kCheckSeed) != check.hash)
            return {};   // not the picture checked at loading: a blank frame
    }
    QImage whole = decodePicture(png);
    if (whole.width() > natural_.width() || whole.height() > natural_.height())
        return {};   // larger than the frame: loading refuses such a picture
    return whole;
}

const PackedFrame &FrameStore::packed(int picture)
{
    std::optional<PackedFrame> &slot = packed_[size_t(picture)];
    if (!slot)
        slot = packFrame(decodeWhole(picture, false));
    return *slot;
}

CroppedFrame FrameStore::cropped(int picture)
{
    if (const std::optional<PackedFrame> &slot = packed_[size_t(picture)])
        return {unpackFrame(*slot), slot->drawn, slot->shape};
    return cropFrame(decodeWhole(picture, true));
}

bool FrameStore::isPacked(int picture) const
{
    return picture >= 0 && picture < count() && packed_[size_t(picture)].has_value();
}

qint64 FrameStore::heldBytes() const
{
    qint64 bytes = 0;
    for (const QByteArray &png : pngs_)
        bytes += png.size();
    for (const std::optional<PackedFrame> &frame : packed_)
        if (frame)
            bytes += frame->runs.size();
    return bytes;
}

} // namespace agent::detail
