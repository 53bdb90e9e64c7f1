// The skin picture of the main window: the JPEG decoder.
#include "FuzzSupport.h"
#include "JpegCodec.h"

#include <QImage>
#include <QPainter>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString seeds = fuzz::SeedFolder();
    if (seeds.isEmpty())
        return 0;
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(QColor(254, 185, 122));
    QPainter painter(&picture);
    painter.fillRect(4, 4, 10, 6, Qt::darkBlue);
    painter.end();
    WriteJpegFile(picture, seeds + QStringLiteral("/skin.jpg"), 80);
    fuzz::SeedsWritten();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QImage image = DecodeJpegFile(fuzz::MemoryFile(data, size));
    if (!image.isNull() && (image.width() < 1 || image.height() < 1))
        std::abort();
    return 0;
}
