// The frame pictures of one character file, shared by every character loaded from it.
// A file holds over a hundred pictures and a character shows only some of them. A
// picture is decoded when first shown, cropped to its drawn part and packed
// (PackedFrame); every later showing, by any character of that file, unpacks that. A
// picture the X server keeps (ServerFrames) is decoded and cropped only, not packed.
// Until then the store keeps the picture's PNG bytes, or, given a way to read them again
// from the file, only their length and hash: bytes read again must match both, so a file
// changed or removed since loading gives blank frames, never pictures that were not
// checked at loading.
#pragma once

#include "PackedFrame.h"

#include <QByteArray>
#include <QSize>
#include <QVector>

#include <functional>
#include <optional>
#include <vector>

namespace agent::detail {

class FrameStore
{
public:
    // Reads the PNG bytes of picture n, of that size, again (empty when it cannot).
    using Reader = std::function<QByteArray(int n, qint64 size)>;

    // pictures: PNG bytes, one per frame picture; natural: the frame size in the file.
    // With a reader, the bytes are let go at once and read again when first shown.
    FrameStore(QVector<QByteArray> pictures, QSize natural, Reader reader = {});

    int count() const { return int(packed_.size()); }
    QSize naturalSize() const { return natural_; }
    // Equal for two files with the same pictures (hashes of every picture's bytes).
    const QByteArray &fingerprint() const { return fingerprint_; }

    // The packed frame of that picture (0 <= picture < count()), packed if need be. A
    // picture that does not decode is a blank frame. The reference stays valid as long
    // as the store.
    const PackedFrame &packed(int picture);
    bool isPacked(int picture) const;
    // The picture cropped to its drawn part, for a caller that keeps it elsewhere (the X
    // server's pixmaps): a picture not packed yet is decoded and left unpacked, so that
    // a picture shown only that way is never packed and unpacked.
    CroppedFrame cropped(int picture);
    // Bytes held for the pictures: PNG bytes kept and packed runs.
    qint64 heldBytes() const;

private:
    // The whole picture; |keep|: without a reader, keep its bytes for later.
    QImage decodeWhole(int picture, bool keep);

    QVector<QByteArray> pngs_;          // without a reader; emptied once packed
    Reader reader_;
    struct Check
    {
        qint64 size;
        size_t hash;
    };
    QVector<Check> checks_;             // with a reader: what bytes read again must match
    std::vector<std::optional<PackedFrame>> packed_;
    QSize natural_;
    QByteArray fingerprint_;
};

// The whole frame picture at its natural size, as the character file holds it (for
// tests and tools; a picture that does not decode gives a null image).
QImage decodePicture(const QByteArray &png);

// Whether every chunk of the PNG picture (up to its end chunk) fits in the bytes left after
// it, and no ancillary chunk is over a fixed budget (a megabyte). A PNG reader allocates
// what a chunk claims before reading it: a picture of a hundred bytes could ask for
// gigabytes. Checked before the toolkit's reader sees a picture.
bool pngChunksFit(const QByteArray &png);

// The same PNG picture with its image data inflated ahead, by libdeflate (about three
// times as quick as the zlib inside the PNG reader), and stored uncompressed: the reader
// then only copies it. Only the container is rewritten; the reader still checks and
// decodes everything else. Empty for a picture this does not apply to (interlaced, over
// 2048 pixels a side, a checksum wrong, image data not what the header says), which the
// reader takes, or refuses, as it is.
QByteArray withStoredImageData(const QByteArray &png);

} // namespace agent::detail
