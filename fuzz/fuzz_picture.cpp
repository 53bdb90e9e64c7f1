// Frame pictures of character files: the PNG decoding of a first showing (image data
// inflated ahead and stored, plain RGBA pictures read by libpng straight) must give what
// the toolkit's reader gives or nothing (a picture with a chunk claiming more than it holds
// or than a picture needs, refused before the reader sees it), within bounded memory, and
// never crash.
#include "FrameStore.h"
#include "FuzzSupport.h"

#include <QBuffer>
#include <QImage>

namespace {

QByteArray pngOf(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString seeds = fuzz::SeedFolder();
    if (seeds.isEmpty())
        return 0;
    QImage figure(24, 20, QImage::Format_ARGB32);
    for (int y = 0; y < figure.height(); ++y)
        for (int x = 0; x < figure.width(); ++x)
            figure.setPixel(x, y, qRgba(x * 10, y * 12, 90, (x + y) % 5 ? 255 : x * 9));
    fuzz::WriteSeed(seeds, QStringLiteral("rgba.png"), pngOf(figure));
    fuzz::WriteSeed(seeds, QStringLiteral("rgb.png"), pngOf(figure.convertToFormat(QImage::Format_RGB32)));
    fuzz::WriteSeed(seeds, QStringLiteral("palette.png"), pngOf(figure.convertToFormat(QImage::Format_Indexed8)));
    fuzz::WriteSeed(seeds, QStringLiteral("grey16.png"), pngOf(figure.convertToFormat(QImage::Format_Grayscale16)));
    fuzz::SeedsWritten();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray png = fuzz::Bytes(data, size);
    const QImage decoded = agent::detail::decodePicture(png);
    if (decoded.isNull())
        return 0;   // (the toolkit's reader is not asked: it may take much memory for nothing)
    if (decoded.width() > 2048 || decoded.height() > 2048
        || decoded != QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32_Premultiplied))
        std::abort();
    return 0;
}
