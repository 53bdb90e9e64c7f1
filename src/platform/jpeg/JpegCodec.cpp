#include "JpegCodec.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

namespace {

// A file of a few kilobytes may claim any size, and libjpeg takes memory for the size
// claimed before it reads a pixel: the picture (a window's background) is bounded, and so
// is what libjpeg may take for its own buffers (a progressive picture keeps all of it).
constexpr JDIMENSION kMaxSide = 8192;
constexpr unsigned long kMaxPixels = 8 * 1024 * 1024;
constexpr long kMaxDecoderMemory = 64L * 1024 * 1024;

// libjpeg reports fatal errors through error_exit, which by default prints a message
// and calls exit(). This handler jumps back to the caller instead.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool dataMissing = false;
};

[[noreturn]] void errorExit(j_common_ptr info)
{
    auto *manager = reinterpret_cast<ErrorManager *>(info->err);
    std::longjmp(manager->jump, 1);
}

void silentMessage(j_common_ptr) {}

// Warnings are kept quiet too, but a file that ends early or loses part of its data
// would show a half-grey picture: such a file counts as broken.
void noteWarning(j_common_ptr info, int level)
{
    auto *manager = reinterpret_cast<ErrorManager *>(info->err);
    if (level < 0 && (info->err->msg_code == JWRN_JPEG_EOF || info->err->msg_code == JWRN_HIT_MARKER))
        manager->dataMissing = true;
}

void installQuietErrors(ErrorManager &manager)
{
    jpeg_std_error(&manager.base);
    manager.base.error_exit = errorExit;
    manager.base.output_message = silentMessage;
    manager.base.emit_message = noteWarning;
}

// The decoding steps between setjmp and the end of the function touch no C++ object
// with a destructor, so a longjmp out of libjpeg skips nothing that needs cleaning up.
bool decodeInto(jpeg_decompress_struct &info, QImage &image)
{
    jpeg_read_header(&info, TRUE);
    if (info.image_width > kMaxSide || info.image_height > kMaxSide
        || static_cast<unsigned long>(info.image_width) * info.image_height > kMaxPixels)
        return false;
    info.mem->max_memory_to_use = kMaxDecoderMemory;   // past it, libjpeg fails (no backing store)
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_width == 0 || info.output_height == 0 || info.output_components != 3)
        return false;
    image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    if (image.isNull())
        return false;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

QImage DecodeJpegFile(const QString &nativePath)
{
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray data = file.readAll();
    if (data.isEmpty())
        return QImage();

    jpeg_decompress_struct info{};
    ErrorManager errors{};
    installQuietErrors(errors);
    info.err = &errors.base;
    QImage image;
    volatile bool decoded = false;
    if (setjmp(errors.jump) == 0) {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()),
                     static_cast<unsigned long>(data.size()));
        decoded = decodeInto(info, image);
    }
    jpeg_destroy_decompress(&info);
    if (!decoded || errors.dataMissing)
        return QImage();
    return image.convertToFormat(QImage::Format_RGB32);
}

bool WriteJpegFile(const QImage &source, const QString &nativePath, int quality)
{
    if (source.isNull())
        return false;
    const QImage image = source.convertToFormat(QImage::Format_RGB888);

    jpeg_compress_struct info{};
    ErrorManager errors{};
    installQuietErrors(errors);
    info.err = &errors.base;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    volatile bool encoded = false;
    if (setjmp(errors.jump) == 0) {
        jpeg_create_compress(&info);
        jpeg_mem_dest(&info, &buffer, &size);
        info.image_width = JDIMENSION(image.width());
        info.image_height = JDIMENSION(image.height());
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, qBound(1, quality, 100), TRUE);
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(int(info.next_scanline)));
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
        encoded = true;
    }
    jpeg_destroy_compress(&info);
    QByteArray bytes;
    if (encoded && buffer)
        bytes = QByteArray(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    if (bytes.isEmpty())
        return false;
    QFile file(nativePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}
