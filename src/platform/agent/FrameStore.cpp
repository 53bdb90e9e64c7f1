#include "FrameStore.h"

#include <QBuffer>
#include <QImageReader>

#include <libdeflate.h>
#include <png.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace agent::detail {

namespace {

constexpr int kMaxPictureSide = 2048;
constexpr size_t kCheckSeed = 0x5bd1e995u;
constexpr qsizetype kStoredBlock = 65535;   // the most bytes one stored deflate block holds
// The most an ancillary chunk (text, colour profile, anything the pixels do without) may
// hold: a PNG reader takes as much memory as such a chunk claims, before reading it.
constexpr quint32 kMaxAncillaryChunk = 1024 * 1024;

quint32 readBigEndian(const char *at)
{
    const auto *b = reinterpret_cast<const uchar *>(at);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

char *putBigEndian(char *at, quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        *at++ = char(value >> shift);
    return at;
}

QImage readPicture(const QByteArray &png)
{
    if (!pngChunksFit(png))
        return {};
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    const QSize size = reader.size();
    // The header is read first: a picture claiming to be huge is not decoded at all.
    if (!size.isValid() || size.width() > kMaxPictureSide || size.height() > kMaxPictureSide)
        return {};
    QImage picture;
    // The header of a picture in another format that the reader recognises may tell less.
    if (!reader.read(&picture) || picture.width() > kMaxPictureSide || picture.height() > kMaxPictureSide)
        return {};
    return picture;
}

// A PNG picture rewritten by storedImageData, or its pixels read there.
struct StoredPng
{
    QByteArray png;              // empty when the picture was left as it was
    bool plainRgba = false;      // RGBA of 8 bits, and nothing that changes how the pixels show
    QSize size;
    QImage pixels;               // a plain RGBA picture without row filters, read here (ARGB32)
};

struct PngSource
{
    const char *data;
    size_t size, at;
};

void readFromSource(png_structp png, png_bytep out, size_t count)
{
    auto *source = static_cast<PngSource *>(png_get_io_ptr(png));
    if (count > source->size - source->at)
        png_error(png, "cut short");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

[[noreturn]] void stopReading(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// Reads a plain RGBA picture into rows of QImage::Format_ARGB32 (blue, green, red, alpha
// in memory, on a little-endian machine), of that size. libpng's own errors end it
// (longjmp): nothing here needs destroying but libpng's structures.
bool readPlainRgba(const QByteArray &stored, QSize size, uchar *const *rows)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, stopReading, ignoreWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource source{stored.constData(), size_t(stored.size()), 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, readFromSource);
    // No more memory for a chunk than the budget, nor for rows than the largest picture:
    // a chunk past it is an error, not a warning.
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    png_set_chunk_malloc_max(png, kMaxAncillaryChunk);
    png_set_benign_errors(png, 0);
    // Every checksum was checked already, by libdeflate, and quicker.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_read_info(png, info);
    const bool fits = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB_ALPHA && png_get_bit_depth(png, info) == 8
                      && png_get_interlace_type(png, info) == PNG_INTERLACE_NONE
                      && png_get_image_width(png, info) == png_uint_32(size.width())
                      && png_get_image_height(png, info) == png_uint_32(size.height());
    if (fits) {
        png_set_bgr(png);
        png_read_update_info(png, info);
        png_read_image(png, const_cast<png_bytepp>(rows));
        png_read_end(png, nullptr);   // the chunks after, as the toolkit's reader reads them
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return fits;
}

StoredPng storedImageData(const QByteArray &png, bool readPixels)
{
    const char *const bytes = png.constData();
    const qsizetype size = png.size();
    if (size < 8 + 25 || std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) != 0)
        return {};
    // Chunks before the image data that leave its pixels as they are.
    bool plain = true;
    auto leavesPixels = [](const char *type) {
        for (const char *name : {"IHDR", "pHYs", "tEXt", "zTXt", "iTXt", "tIME"})
            if (std::memcmp(type, name, 4) == 0)
                return true;
        return false;
    };
    // The chunks: every checksum right, the header first, the image data in a row.
    qsizetype dataStart = -1, dataEnd = -1, end = -1;
    QByteArray deflated;
    for (qsizetype at = 8; at + 12 <= size;) {
        const quint32 length = readBigEndian(bytes + at);
        if (qsizetype(length) > size - at - 12)
            return {};   // a chunk claims more bytes than the picture has left
        const char *type = bytes + at + 4;
        if (libdeflate_crc32(0, type, length + 4) != readBigEndian(type + 4 + length))
            return {};
        if (at == 8 && (std::memcmp(type, "IHDR", 4) != 0 || length != 13))
            return {};
        if (std::memcmp(type, "IDAT", 4) == 0) {
            if (dataEnd >= 0 && dataEnd != at)
                return {};   // image data split by other chunks
            if (dataStart < 0)
                dataStart = at;
            deflated.append(type + 4, length);
            dataEnd = at + 12 + length;
        } else if (dataStart < 0 && !leavesPixels(type)) {
            plain = false;
        }
        at += 12 + length;
        if (std::memcmp(type, "IEND", 4) == 0) {
            end = at;
            break;
        }
    }
    // A zlib stream with the largest window, as the reader's zlib would check it.
    if (dataStart < 0 || end < 0 || deflated.size() < 2 || uchar(deflated[0]) >> 4 != 7)
        return {};
    const quint32 width = readBigEndian(bytes + 16), height = readBigEndian(bytes + 20);
    const int depth = uchar(bytes[24]), colour = uchar(bytes[25]), interlace = uchar(bytes[28]);
    const int channels = colour == 0 || colour == 3 ? 1 : colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 0;
    if (width == 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide || channels == 0
        || depth == 0 || depth > 16 || interlace != 0)
        return {};
    // Each row: its filter byte and its pixels.
    const qsizetype rows = qsizetype(height) * ((qsizetype(width) * channels * depth + 7) / 8 + 1);

    QByteArray raw(rows, Qt::Uninitialized);
    const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor *)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    size_t inflated = 0;
    if (!inflater
        || libdeflate_zlib_decompress(inflater.get(), deflated.constData(), size_t(deflated.size()), raw.data(),
                                      size_t(rows), &inflated) != LIBDEFLATE_SUCCESS
        || qsizetype(inflated) != rows)
        return {};

    // A plain RGBA picture whose rows are stored as they are (filter type 0) needs no PNG
    // reader: its pixels are copied here, red and blue swapped.
    const bool plainRgba = plain && colour == 6 && depth == 8;
    const bool standard = bytes[26] == 0 && bytes[27] == 0;   // compression and filter methods
    if (readPixels && plainRgba && standard && Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        const qsizetype rowBytes = qsizetype(width) * 4 + 1;
        bool unfiltered = true;
        for (qsizetype row = 0; row < rows && unfiltered; row += rowBytes)
            unfiltered = raw.constData()[row] == 0;
        QImage pixels;
        if (unfiltered)
            pixels = QImage(int(width), int(height), QImage::Format_ARGB32);
        if (!pixels.isNull()) {
            for (int y = 0; y < int(height); ++y) {
                const char *in = raw.constData() + y * rowBytes + 1;
                auto *out = reinterpret_cast<quint32 *>(pixels.scanLine(y));
                for (quint32 x = 0; x < width; ++x, in += 4) {
                    quint32 rgba;   // red, green, blue, alpha in memory
                    std::memcpy(&rgba, in, 4);
                    out[x] = (rgba & 0xff00ff00u) | (rgba & 0xffu) << 16 | (rgba >> 16 & 0xffu);
                }
            }
            return {{}, true, QSize(int(width), int(height)), pixels};
        }
    }

    // One image data chunk: a zlib header, the rows in stored blocks, their checksum.
    const qsizetype blocks = (rows + kStoredBlock - 1) / kStoredBlock;
    const qsizetype dataLength = 2 + 5 * blocks + rows + 4;
    QByteArray out(dataStart + 12 + dataLength + (end - dataEnd), Qt::Uninitialized);
    char *at = out.data();
    std::memcpy(at, bytes, size_t(dataStart));   // the signature and the chunks before
    at = putBigEndian(at + dataStart, quint32(dataLength));
    char *const chunk = at;
    std::memcpy(at, "IDAT\x78\x01", 6);   // no compression, no dictionary
    at += 6;
    for (qsizetype done = 0; done < rows; done += kStoredBlock) {
        const auto n = quint16(qMin(kStoredBlock, rows - done));
        *at++ = char(done + n == rows ? 1 : 0);   // the last block, stored
        const quint16 words[2] = {n, quint16(~n)};
        for (quint16 word : words) {
            *at++ = char(word & 0xff);
            *at++ = char(word >> 8);
        }
        std::memcpy(at, raw.constData() + done, n);
        at += n;
    }
    at = putBigEndian(at, quint32(libdeflate_adler32(1, raw.constData(), size_t(rows))));
    at = putBigEndian(at, quint32(libdeflate_crc32(0, chunk, size_t(at - chunk))));
    std::memcpy(at, bytes + dataEnd, size_t(end - dataEnd));   // the chunks after, to the end
    return {out, plainRgba, QSize(int(width), int(height)), {}};
}

} // namespace

bool pngChunksFit(const QByteArray &png)
{
    const char *const bytes = png.constData();
    const qsizetype size = png.size();
    if (size < 8 || std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) != 0)
        return false;
    // Up to the end chunk, as a reader reads them; a header cut short needs no memory.
    for (qsizetype at = 8; at + 8 <= size;) {
        const quint32 length = readBigEndian(bytes + at);
        const bool ancillary = bytes[at + 4] & 0x20;
        if (qsizetype(length) > size - at - 12 || (ancillary && length > kMaxAncillaryChunk))
            return false;
        if (std::memcmp(bytes + at + 4, "IEND", 4) == 0)
            break;
        at += 12 + length;
    }
    return true;
}

QByteArray withStoredImageData(const QByteArray &png)
{
    return storedImageData(png, false).png;
}

QImage decodePicture(const QByteArray &png)
{
    // The reader's own inflating is the slowest part of decoding: done here first when
    // the picture allows, and as the file has it otherwise (or should the reader refuse
    // the rewritten picture, which it never should). A plain RGBA picture, as the game's
    // own characters have, is read here when its rows are not filtered (as the game
    // writes its own), else by libpng straight, without the toolkit's reader and its
    // checks of the checksums, done already.
    const StoredPng stored = storedImageData(png, true);
    QImage picture = stored.pixels;
    if (picture.isNull() && stored.plainRgba && Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        picture = QImage(stored.size, QImage::Format_ARGB32);
        std::vector<uchar *> rows(size_t(picture.height()));
        for (int y = 0; y < picture.height(); ++y)
            rows[size_t(y)] = picture.scanLine(y);
        if (picture.isNull() || !readPlainRgba(stored.png, stored.size, rows.data()))
            picture = QImage();
    }
    if (picture.isNull() && !stored.png.isEmpty())
        picture = readPicture(stored.png);
    if (picture.isNull())
        picture = readPicture(png);
    picture.convertTo(QImage::Format_ARGB32_Premultiplied);
    return picture;
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
