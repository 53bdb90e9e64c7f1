// The frames of a character: a frame packed on first use and unpacked for showing looks
// exactly like the whole picture decoded from the file, the cache never holds more than
// its bound, frames that left it come back the same, a picture that does not decode shows
// as a blank frame, packing keeps every pixel of any picture, shapes hold the pixels at
// least half opaque, and pictures decode as the toolkit's reader decodes them, or, when
// they claim more memory than they may, not at all.
#include "CharacterFile.h"
#include "FrameCache.h"
#include "PackedFrame.h"
#include "SampleCharacter.h"

#include <QBitmap>
#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <QtEndian>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <sys/resource.h>

using namespace agent;
using namespace agent::detail;

namespace {

// The ready frame put back into a transparent picture of the whole frame size.
QImage recomposed(const ReadyFrame &frame, QSize size)
{
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(frame.offset, frame.pixmap);
    return canvas;
}

QRegion alphaShape(const QImage &image)
{
    return QRegion(QBitmap::fromImage(image.createAlphaMask(Qt::ThresholdAlphaDither)));
}

// The same pixels, however each region splits them into rectangles.
bool samePixels(const QRegion &a, const QRegion &b)
{
    return a.xored(b).isEmpty();
}

QByteArray pngOf(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QImage decodedByToolkit(const QByteArray &png)
{
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A PNG chunk of that type and data, with its checksum.
QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += QByteArray(type, 4) + data;
    quint32 crc = 0xffffffffu;
    for (qsizetype i = 4; i < chunk.size(); ++i) {
        crc ^= uchar(chunk[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    QByteArray sum(4, '\0');
    qToBigEndian(~crc, sum.data());
    return chunk + sum;
}

// An RGBA PNG of |image| whose rows are stored without a filter (filter type |filter| on
// the first row only: 0 throughout writes them as the character maker does).
QByteArray unfilteredPngOf(const QImage &image, char filter = 0)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    QByteArray rows;
    for (int y = 0; y < rgba.height(); ++y)
        rows += (y == 0 ? filter : '\0')
                + QByteArray(reinterpret_cast<const char *>(rgba.constScanLine(y)), rgba.width() * 4);
    QByteArray header(8, '\0');
    qToBigEndian(quint32(rgba.width()), header.data());
    qToBigEndian(quint32(rgba.height()), header.data() + 4);
    return QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header + QByteArray::fromHex("0806000000"))
           + pngChunk("IDAT", qCompress(rows).mid(4)) + pngChunk("IEND", {});
}

std::shared_ptr<FrameStore> storeOf(const QVector<QByteArray> &pictures, QSize natural)
{
    return std::make_shared<FrameStore>(pictures, natural);
}

} // namespace

class TestFrameCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void framesMatchTheWholeDecodedPicture();
    void cacheStaysWithinItsBound();
    void newSizeScalesAndDropsReadyFrames();
    void brokenPictureShowsBlank();
    void packingKeepsEveryPixel();
    void picturesDecodeAsTheToolkitDecodesThem();
    void storePacksOnceAndLetsThePngGo();
    void picturesReadAgainMustMatch();

private:
    QTemporaryDir dir_;
    CharacterData pip_;
};

void TestFrameCache::initTestCase()
{
    const QString path = dir_.filePath(QStringLiteral("pip.acs"));
    QCOMPARE(sample::writeSampleCharacter(path, QStringLiteral("Pip"), 64, 80), QString());
    pip_ = loadCharacterFile(path);
    QVERIFY(pip_.images.size() > 20);
}

void TestFrameCache::framesMatchTheWholeDecodedPicture()
{
    const QSize size(pip_.width, pip_.height);
    FrameCache cache(storeOf(pip_.images, size));
    for (int i = 0; i < cache.count(); ++i) {
        const QImage whole = decodePicture(pip_.images[i]);
        QCOMPARE(whole.size(), size);
        const ReadyFrame &frame = cache.frame(i);
        // Cropped to the drawn part: smaller than the frame, nothing drawn is lost.
        QVERIFY(frame.pixmap.width() < size.width() || frame.pixmap.height() < size.height());
        QVERIFY2(recomposed(frame, size) == whole, qPrintable(QStringLiteral("picture %1").arg(i)));
        QVERIFY(samePixels(frame.shape, alphaShape(whole)));
    }
}

void TestFrameCache::cacheStaysWithinItsBound()
{
    const QSize size(pip_.width, pip_.height);
    FrameCache cache(storeOf(pip_.images, size), 4);
    const QImage first = cache.frame(0).pixmap.toImage();
    // Show every picture twice over, as a long run of animations would.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < cache.count(); ++i) {
            cache.frame(i);
            QVERIFY(cache.readyCount() <= 4);
        }
    }
    QCOMPARE(cache.readyCount(), 4);
    // The four shown last are ready; the rest left the cache.
    const int n = cache.count();
    for (int i = n - 4; i < n; ++i)
        QVERIFY(cache.isReady(i));
    QVERIFY(!cache.isReady(0));
    // Showing a ready frame again keeps it: the least recently shown leaves instead.
    cache.frame(n - 4);
    cache.frame(1);
    QVERIFY(cache.isReady(n - 4));
    QVERIFY(!cache.isReady(n - 3));
    // A frame decoded again is the same frame.
    QCOMPARE(cache.frame(0).pixmap.toImage(), first);
    // A hidden character keeps none.
    cache.clear();
    QCOMPARE(cache.readyCount(), 0);
}

void TestFrameCache::newSizeScalesAndDropsReadyFrames()
{
    const QSize natural(pip_.width, pip_.height);
    FrameCache cache(storeOf(pip_.images, natural));
    const QRect naturalShape = cache.frame(3).shape.boundingRect();
    cache.setSize(natural * 2);
    QCOMPARE(cache.readyCount(), 0);
    const ReadyFrame &big = cache.frame(3);
    QVERIFY(QRect(QPoint(0, 0), natural * 2).contains(QRect(big.offset, big.pixmap.size())));
    const QRect bigShape = big.shape.boundingRect();
    QVERIFY2(qAbs(bigShape.left() - 2 * naturalShape.left()) <= 2
                 && qAbs(bigShape.width() - 2 * naturalShape.width()) <= 2
                 && qAbs(bigShape.height() - 2 * naturalShape.height()) <= 2,
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(bigShape.x()).arg(bigShape.y())
                            .arg(bigShape.width()).arg(bigShape.height())));
    // Back to the natural size: the same frame as before.
    cache.setSize(natural);
    QCOMPARE(recomposed(cache.frame(3), natural), decodePicture(pip_.images[3]));
}

void TestFrameCache::brokenPictureShowsBlank()
{
    QByteArray broken = pip_.images[0];
    broken.truncate(40);                  // the PNG signature and header survive, no more
    FrameCache cache(storeOf({broken, pip_.images[1]}, QSize(pip_.width, pip_.height)));
    const ReadyFrame &blank = cache.frame(0);
    QCOMPARE(blank.pixmap.size(), QSize(1, 1));
    QCOMPARE(blank.shape, QRegion(0, 0, 1, 1));
    QCOMPARE(blank.pixmap.toImage().pixel(0, 0), qRgba(0, 0, 0, 0));
    QVERIFY(cache.frame(1).pixmap.width() > 1);   // the good picture still shows
}

void TestFrameCache::packingKeepsEveryPixel()
{
    // Rows that mix every kind of run: transparent margins and gaps, long flat fills,
    // pixels that differ one from the next, faint pixels, runs ending at the edge.
    QImage whole(300, 40, QImage::Format_ARGB32_Premultiplied);
    whole.fill(Qt::transparent);
    for (int y = 5; y < 35; ++y) {
        for (int x = 10; x < 290; ++x) {
            if (y % 7 == 0 && x % 50 < 3)
                continue;                                   // small holes
            if (x < 100)
                whole.setPixel(x, y, qRgba(200, 40, 40, 255));                     // a fill
            else if (x < 200)
                whole.setPixel(x, y, qPremultiply(qRgba(x, y * 5, (x * y) % 256, 255 - x % 3)));   // no two alike
            else
                whole.setPixel(x, y, qPremultiply(qRgba(10, 200, 10, (x / 2) % 2 ? 255 : 20)));   // pairs, faint ones
        }
        whole.setPixel(299, y, qRgba(1, 2, 3, 255));        // a single pixel at the right edge
    }
    const PackedFrame packed = packFrame(whole);
    QCOMPARE(packed.drawn, QRect(10, 5, 290, 30));
    QCOMPARE(unpackFrame(packed), whole.copy(packed.drawn));
    QVERIFY(samePixels(packed.shape, alphaShape(whole)));
    // Drawn art packs well below its raw size.
    QVERIFY2(packed.runs.size() < 290 * 30 * 4 * 3 / 4, qPrintable(QString::number(packed.runs.size())));

    // Shapes of pixels just below, at and above half opacity, in rows alike and not.
    QRandomGenerator random(7);
    for (QSize size : {QSize(13, 9), QSize(64, 40), QSize(101, 57)}) {
        QImage noisy(size, QImage::Format_ARGB32_Premultiplied);
        const int alphas[] = {0, 127, 128, 255};
        for (int y = 0; y < size.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(noisy.scanLine(y));
            if (y > 0 && random.bounded(3) == 0) {
                std::memcpy(line, noisy.constScanLine(y - 1), size_t(noisy.bytesPerLine()));
                continue;
            }
            for (int x = 0; x < size.width(); ++x)
                line[x] = qPremultiply(qRgba(90, 160, 30, alphas[random.bounded(4)]));
        }
        QVERIFY(samePixels(cropFrame(noisy).shape, alphaShape(noisy)));
    }
    QImage gap(6, 3, QImage::Format_ARGB32_Premultiplied);   // alike rows, a clear one between
    gap.fill(Qt::transparent);
    gap.setPixel(1, 0, qRgba(0, 0, 0, 255));
    gap.setPixel(1, 2, qRgba(0, 0, 0, 255));
    QVERIFY(samePixels(cropFrame(gap).shape, alphaShape(gap)));

    // A one-pixel figure, an empty picture and a null one.
    QImage dot(8, 8, QImage::Format_ARGB32);
    dot.fill(Qt::transparent);
    dot.setPixel(7, 7, qRgba(0, 0, 255, 255));
    const PackedFrame one = packFrame(dot);
    QCOMPARE(one.drawn, QRect(7, 7, 1, 1));
    QCOMPARE(unpackFrame(one).pixel(0, 0), qRgba(0, 0, 255, 255));
    dot.fill(Qt::transparent);
    for (const QImage &blank : {dot, QImage()}) {
        const PackedFrame none = packFrame(blank);
        QCOMPARE(none.drawn, QRect(0, 0, 1, 1));
        QCOMPARE(none.shape, QRegion(0, 0, 1, 1));
        QCOMPARE(unpackFrame(none).pixel(0, 0), qRgba(0, 0, 0, 0));
    }

    // Packed bytes cut short (never written so, but never read past): a transparent picture.
    PackedFrame cut = packed;
    cut.runs.truncate(cut.runs.size() / 2);
    const QImage half = unpackFrame(cut);
    QCOMPARE(half.size(), packed.drawn.size());
    QCOMPARE(half.pixel(half.width() - 1, half.height() - 1), qRgba(0, 0, 0, 0));
}

// The picture's image data inflated ahead and stored, and plain RGBA pictures read by
// libpng straight, give what the toolkit's reader gives, for every kind of PNG; pictures
// this does not apply to, or that are damaged, are left to the toolkit's reader.
void TestFrameCache::picturesDecodeAsTheToolkitDecodesThem()
{
    QRandomGenerator random(11);
    QImage noisy(300, 200, QImage::Format_ARGB32);   // image data in several chunks and blocks
    for (int y = 0; y < noisy.height(); ++y)
        for (int x = 0; x < noisy.width(); ++x)
            noisy.setPixel(x, y, qRgba(random.bounded(4) * 80, random.bounded(4) * 80, 200, random.bounded(4) * 80));
    QImage palette = noisy.convertToFormat(QImage::Format_Indexed8);
    palette.setColor(0, qRgba(10, 20, 30, 40));
    const QByteArray plain = pngOf(noisy);
    // Gamma after the header: pixels the reader may change, not read straight.
    const QByteArray gamma = plain.left(33) + pngChunk("gAMA", QByteArray::fromHex("0000b18f")) + plain.mid(33);
    // Rows stored unfiltered (read without libpng), and one whose first row is filtered.
    const QByteArray unfiltered = unfilteredPngOf(noisy);
    QVector<QByteArray> pictures = {plain, gamma, pngOf(noisy.convertToFormat(QImage::Format_RGB32)), pngOf(palette),
                                    pngOf(noisy.convertToFormat(QImage::Format_Grayscale16)),
                                    pngOf(noisy.convertToFormat(QImage::Format_RGBA64)), unfiltered,
                                    unfilteredPngOf(noisy, 1)};
    pictures += pip_.images.mid(0, 5);
    for (const QByteArray &png : std::as_const(pictures)) {
        const QByteArray stored = withStoredImageData(png);
        QVERIFY(stored.size() > png.size());   // the image data uncompressed
        QCOMPARE(decodedByToolkit(stored), decodedByToolkit(png));
        const QImage decoded = decodePicture(png);
        QVERIFY(!decoded.isNull());
        QCOMPARE(decoded, decodedByToolkit(png));
    }

    // Interlaced (the flag set here: the data no longer fits it), a checksum wrong, the
    // image data cut short, the end missing: left as they are, decoded as the toolkit does.
    QByteArray interlaced = plain.left(8) + pngChunk("IHDR", plain.mid(16, 12) + '\1') + plain.mid(33);
    QByteArray wrongSum = plain;
    wrongSum[60] = char(wrongSum[60] ^ 1);
    const qsizetype dataAt = plain.indexOf("IDAT") - 4;
    const QByteArray cut = plain.left(dataAt) + pngChunk("IDAT", plain.mid(dataAt + 8, 100)) + pngChunk("IEND", {});
    for (const QByteArray &png : {interlaced, wrongSum, cut, plain.left(plain.size() - 12)}) {
        QVERIFY(withStoredImageData(png).isEmpty());
        QCOMPARE(decodePicture(png), decodedByToolkit(png));
    }

    // A chunk claiming 1.7 GB that the picture does not hold (a reader would take the
    // memory before finding the bytes missing), and a text chunk past the budget for one:
    // refused before any reader sees them, at a cost far below a hundred megabytes.
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const QByteArray huge = plain.left(33) + QByteArray::fromHex("65555555") + "tEXt" + QByteArray(60, 'x');
    const QByteArray wordy = plain.left(33) + pngChunk("tEXt", "Comment" + QByteArray(1536 * 1024, ' ')) + plain.mid(33);
    const bool refused = decodePicture(huge).isNull() && decodePicture(wordy).isNull();
    getrusage(RUSAGE_SELF, &after);
    QVERIFY2(after.ru_maxrss - before.ru_maxrss < 100 * 1024, qPrintable(QString::number(after.ru_maxrss - before.ru_maxrss)));
    QVERIFY(refused);
}

void TestFrameCache::storePacksOnceAndLetsThePngGo()
{
    const QSize size(pip_.width, pip_.height);
    auto store = storeOf(pip_.images, size);
    qint64 pngBytes = 0;
    for (const QByteArray &png : pip_.images)
        pngBytes += png.size();
    QCOMPARE(store->heldBytes(), pngBytes);
    QCOMPARE(store->fingerprint(), storeOf(pip_.images, size)->fingerprint());
    QVector<QByteArray> changed = pip_.images;
    changed.last().append('\0');
    QVERIFY(store->fingerprint() != storeOf(changed, size)->fingerprint());

    // Two windows of one file: the second finds the frame packed by the first.
    FrameCache first(store), second(store);
    const QImage shown = first.frame(2).pixmap.toImage();
    QVERIFY(store->isPacked(2));
    QVERIFY(!store->isPacked(3));
    const PackedFrame *packed = &store->packed(2);
    QCOMPARE(second.frame(2).pixmap.toImage(), shown);
    QCOMPARE(&store->packed(2), packed);
    QCOMPARE(store->heldBytes(), pngBytes - pip_.images[2].size() + packed->runs.size());

    // A picture for the X server is cropped without packing, as often as asked (its PNG
    // stays); the same picture as the toolkit draws it. A packed one comes from its runs.
    const FrameImage direct = first.image(3);
    QVERIFY(!store->isPacked(3));
    QCOMPARE(first.image(3).image, direct.image);
    const ReadyFrame &drawn = second.frame(3);
    QCOMPARE(direct.image, drawn.pixmap.toImage());
    QCOMPARE(direct.offset, drawn.offset);
    QCOMPARE(direct.shape, drawn.shape);
    QCOMPARE(first.image(2).image, shown);
}

void TestFrameCache::picturesReadAgainMustMatch()
{
    // A store that reads pictures again keeps none; bytes read again are used only when
    // they are the bytes it was given: here a valid picture of the same length, drawn in
    // another colour, is refused.
    const auto png = [](QColor colour) {
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG", 100);   // not compressed: the length depends on the size only
        return bytes;
    };
    const QVector<QByteArray> given = {png(Qt::red), png(Qt::blue)};
    const QVector<QByteArray> onDisk = {png(Qt::red), png(Qt::green)};
    QCOMPARE(onDisk[1].size(), given[1].size());
    QVector<qint64> asked;
    FrameStore store(given, QSize(8, 8), [&](int n, qint64 limit) {
        asked << limit;
        return onDisk.value(n);
    });
    QCOMPARE(store.heldBytes(), 0);
    QCOMPARE(unpackFrame(store.packed(0)).pixel(4, 4), qRgba(255, 0, 0, 255));
    QCOMPARE(store.packed(1).drawn, QRect(0, 0, 1, 1));
    QCOMPARE(asked, (QVector<qint64>{given[0].size(), given[1].size()}));
}

QTEST_MAIN(TestFrameCache)
#include "tst_frame_cache.moc"
