#include "CharacterFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <png.h>
#include <zip.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace chars {

namespace {

void appendToBytes(png_structp png, png_bytep data, size_t size)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(size));
}

void noFlush(png_structp) {}

[[noreturn]] void stopWriting(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

// The picture as an RGBA PNG whose rows are stored unfiltered: the game copies such rows
// straight into its frames, without a PNG reader, when a character first shows one.
// Empty when libpng fails (out of memory).
QByteArray unfilteredPng(const QImage &image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    std::vector<png_bytep> rows(size_t(rgba.height()));
    for (int y = 0; y < rgba.height(); ++y)
        rows[size_t(y)] = const_cast<png_bytep>(rgba.constScanLine(y));
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, stopWriting, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendToBytes, noFlush);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(png, info, png_uint_32(rgba.width()), png_uint_32(rgba.height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace

CharacterFile::CharacterFile(const QString &name, int width, int height)
    : name_(name), width_(width), height_(height)
{
}

QString CharacterFile::addFrame(const QImage &image, const QString &name)
{
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(pixels.constBits()), pixels.sizeInBytes()));
    hash.addData(QByteArray::number(pixels.width()) + 'x' + QByteArray::number(pixels.height()));
    const QByteArray digest = hash.result();
    const auto found = byContent_.constFind(digest);
    if (found != byContent_.constEnd())
        return found.value();

    QString path = QStringLiteral("frames/%1.png").arg(name);
    for (int n = 2; pngs_.contains(path); ++n)
        path = QStringLiteral("frames/%1_%2.png").arg(name).arg(n);
    // The default compression level: the strongest one takes four times as long
    // for a file barely smaller.
    QByteArray png = unfilteredPng(pixels);
    if (png.isEmpty()) {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        pixels.save(&buffer, "PNG");
    }
    pngs_.insert(path, png);
    byContent_.insert(digest, path);
    return path;
}

void CharacterFile::addAnimation(const QString &name, const Animation &animation)
{
    animations_.insert(name, animation);
}

QByteArray CharacterFile::json() const
{
    QJsonObject voice{{"language", voice_.language},
                      {"rate", voice_.rate},
                      {"pitch", voice_.pitch},
                      {"range", voice_.range},
                      {"volume", voice_.volume}};
    if (!voice_.variant.isEmpty())
        voice.insert("variant", voice_.variant);

    QJsonArray idling;
    for (const QStringList &level : states_.idling)
        idling.append(QJsonArray::fromStringList(level));
    const QJsonObject states{{"showing", states_.showing},
                             {"hiding", states_.hiding},
                             {"speaking", states_.speaking},
                             {"moving", QJsonObject{{"left", states_.moveLeft},
                                                    {"right", states_.moveRight},
                                                    {"up", states_.moveUp},
                                                    {"down", states_.moveDown}}},
                             {"idling", idling}};

    QJsonObject animations;
    for (auto it = animations_.constBegin(); it != animations_.constEnd(); ++it) {
        QJsonArray frames;
        for (const FrameRef &f : it.value().frames)
            frames.append(QJsonObject{{"image", f.image}, {"duration", f.duration}});
        QJsonObject a{{"frames", frames}, {"loop", it.value().loop}};
        if (!it.value().returnName.isEmpty())
            a.insert("return", it.value().returnName);
        animations.insert(it.key(), a);
    }

    const QJsonObject root{{"format", "hollyfrost-character"},
                           {"version", 1},
                           {"name", name_},
                           {"width", width_},
                           {"height", height_},
                           {"voice", voice},
                           {"states", states},
                           {"animations", animations}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

namespace {

constexpr time_t FixedDate = 946728000;   // 2000-01-01 12:00 UTC

// Adds one entry from a buffer that outlives the archive handle (libzip reads the
// buffers only when the archive is closed).
bool addEntry(zip_t *archive, const QString &name, const QByteArray &data, bool store, QString *error)
{
    zip_source_t *source = zip_source_buffer(archive, data.constData(), zip_uint64_t(data.size()), 0);
    if (!source) {
        *error = QStringLiteral("cannot add %1: %2").arg(name, QString::fromUtf8(zip_strerror(archive)));
        return false;
    }
    const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        *error = QStringLiteral("cannot add %1: %2").arg(name, QString::fromUtf8(zip_strerror(archive)));
        return false;
    }
    // PNG data is compressed already; deflating it again only costs time.
    zip_set_file_compression(archive, zip_uint64_t(index), store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    // A fixed date keeps the archive the same from build to build.
    zip_file_set_mtime(archive, zip_uint64_t(index), FixedDate, 0);
    return true;
}

} // namespace

bool CharacterFile::write(const QString &path, QString *error) const
{
    QString ignored;
    if (!error)
        error = &ignored;
    const QString temp = path + QStringLiteral(".part");
    QFile::remove(temp);
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(temp).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        *error = QStringLiteral("cannot create %1: %2").arg(temp, QString::fromUtf8(zip_error_strerror(&ze)));
        zip_error_fini(&ze);
        return false;
    }
    const QByteArray document = json();
    bool ok = addEntry(archive, QStringLiteral("character.json"), document, false, error);
    for (auto it = pngs_.constBegin(); ok && it != pngs_.constEnd(); ++it)
        ok = addEntry(archive, it.key(), it.value(), true, error);
    if (!ok) {
        zip_discard(archive);
        QFile::remove(temp);
        return false;
    }
    if (zip_close(archive) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(temp, QString::fromUtf8(zip_strerror(archive)));
        zip_discard(archive);
        QFile::remove(temp);
        return false;
    }
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("cannot move %1 into place").arg(path);
        QFile::remove(temp);
        return false;
    }
    return true;
}

} // namespace chars
