#include "CharacterFile.h"

#include "Agent.h"
#include "FrameStore.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <zip.h>

#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace agent::detail {

namespace {

// A character file comes from anyone (the Add dialog takes any file): what one file may
// cost is bounded. Our own characters use a small part of each bound.
constexpr zip_uint64_t kMaxEntryBytes = 32 * 1024 * 1024;
constexpr zip_uint64_t kMaxJsonBytes = 4 * 1024 * 1024;
constexpr zip_int64_t kMaxEntries = 4096;
constexpr qsizetype kMaxAnimations = 1024;
constexpr qsizetype kMaxFrameSteps = 16384;
constexpr qint64 kMaxTotalPixels = 16 * 1024 * 1024;
constexpr qint64 kMaxTotalSoundBytes = 32 * 1024 * 1024;
constexpr int kMaxSide = 2048;
constexpr int kMaxFrameMs = 60000;

struct ZipDiscard
{
    void operator()(zip_t *z) const { zip_discard(z); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipDiscard>;

[[noreturn]] void fail(const QString &path, const QString &why)
{
    throw AgentError(QStringLiteral("Cannot load the character file \"%1\": %2")
                         .arg(path, why).toStdString());
}

// The entry's bytes, or an empty array with *found false when there is no such entry.
QByteArray readEntry(zip_t *zip, const QString &path, const QString &name, bool *found,
                     zip_uint64_t limit = kMaxEntryBytes)
{
    QString entry = name;
    while (entry.startsWith(QLatin1String("./")))
        entry.remove(0, 2);
    const QByteArray utf8 = entry.toUtf8();
    zip_stat_t st;
    zip_stat_init(&st);
    *found = zip_stat(zip, utf8.constData(), 0, &st) == 0;
    if (!*found)
        return {};
    if (!(st.valid & ZIP_STAT_SIZE) || st.size > limit)
        fail(path, QStringLiteral("\"%1\" is too large").arg(name));
    zip_file_t *file = zip_fopen(zip, utf8.constData(), 0);
    if (!file)
        fail(path, QStringLiteral("\"%1\" cannot be read").arg(name));
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    const zip_int64_t got = st.size ? zip_fread(file, bytes.data(), st.size) : 0;
    zip_fclose(file);
    if (got < 0 || zip_uint64_t(got) != st.size)
        fail(path, QStringLiteral("\"%1\" is damaged").arg(name));
    return bytes;
}

QString stateName(const QJsonObject &states, const char *key)
{
    return states.value(QLatin1String(key)).toString();
}

// Opens the archive without following anything but a regular file: a FIFO or device
// named like a character file would block or never end.
ZipPtr openArchive(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        fail(path, QStringLiteral("the file cannot be opened"));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(path, QStringLiteral("not a regular file"));
    }
    int error = 0;
    zip_t *zip = zip_fdopen(fd, 0, &error);
    if (!zip) {
        ::close(fd);
        fail(path, QStringLiteral("not a character file (not a zip archive)"));
    }
    if (zip_get_num_entries(zip, 0) > kMaxEntries) {
        zip_discard(zip);
        fail(path, QStringLiteral("the file has too many entries"));
    }
    return ZipPtr(zip);
}

// Checks a frame picture by its PNG header, before any pixel is decoded: a picture larger
// than the frame is refused, and so is one past the pixel budget. The pixels are decoded
// only when the frame is first shown.
void checkFrame(const QString &path, const QString &name, const QByteArray &png, QSize frame,
                qint64 &pixelBudget)
{
    const auto notPng = [&] { fail(path, QStringLiteral("the frame \"%1\" is not a PNG picture").arg(name)); };
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        notPng();
    // Before the reader sees it: the reader takes as much memory as a chunk claims.
    if (!pngChunksFit(png))
        fail(path, QStringLiteral("the frame \"%1\" is damaged: a part of it claims more than it holds or "
                                  "than a picture needs").arg(name));
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!size.isValid())
        notPng();
    if (size.width() > frame.width() || size.height() > frame.height())
        fail(path, QStringLiteral("the frame \"%1\" is larger than the character").arg(name));
    pixelBudget -= qint64(size.width()) * size.height();
    if (pixelBudget < 0)
        fail(path, QStringLiteral("the frames are too many or too large"));
}

} // namespace

const Animation *CharacterData::find(const QString &name) const
{
    const auto it = animations.constFind(name.toLower());
    return it == animations.constEnd() ? nullptr : &it.value();
}

namespace {

CharacterData readCharacterFile(const QString &path)
{
    if (path.isEmpty())
        fail(path, QStringLiteral("no file name"));
    ZipPtr zip = openArchive(path);

    bool found = false;
    const QByteArray json = readEntry(zip.get(), path, QStringLiteral("character.json"), &found, kMaxJsonBytes);
    if (!found)
        fail(path, QStringLiteral("not a character file (no character.json)"));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject())
        fail(path, QStringLiteral("character.json is not valid: %1").arg(parseError.errorString()));
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String("hollyfrost-character")
        || root.value(QLatin1String("version")).toInt() != 1)
        fail(path, QStringLiteral("not a character file of a known format and version"));

    CharacterData data;
    data.name = root.value(QLatin1String("name")).toString();
    data.width = root.value(QLatin1String("width")).toInt();
    data.height = root.value(QLatin1String("height")).toInt();
    if (data.width < 1 || data.height < 1 || data.width > kMaxSide || data.height > kMaxSide)
        fail(path, QStringLiteral("the frame size is missing or out of range"));

    const QJsonObject voice = root.value(QLatin1String("voice")).toObject();
    VoiceSettings &v = data.voice;
    v.language = voice.value(QLatin1String("language")).toString(v.language);
    v.variant = voice.value(QLatin1String("variant")).toString();
    v.rate = qBound(80, voice.value(QLatin1String("rate")).toInt(v.rate), 450);
    v.pitch = qBound(0, voice.value(QLatin1String("pitch")).toInt(v.pitch), 100);
    v.range = qBound(0, voice.value(QLatin1String("range")).toInt(v.range), 100);
    v.volume = qBound(0, voice.value(QLatin1String("volume")).toInt(v.volume), 200);

    const QJsonObject states = root.value(QLatin1String("states")).toObject();
    data.showing = stateName(states, "showing");
    data.hiding = stateName(states, "hiding");
    data.speaking = stateName(states, "speaking");
    const QJsonObject moving = states.value(QLatin1String("moving")).toObject();
    data.moveLeft = stateName(moving, "left");
    data.moveRight = stateName(moving, "right");
    data.moveUp = stateName(moving, "up");
    data.moveDown = stateName(moving, "down");
    for (const QJsonValue &level : states.value(QLatin1String("idling")).toArray()) {
        QStringList names;
        for (const QJsonValue &name : level.toArray())
            if (!name.toString().isEmpty())
                names << name.toString();
        if (!names.isEmpty())
            data.idling << names;
    }

    QHash<QString, int> imageIndex, soundIndex;
    qint64 pixelBudget = kMaxTotalPixels, soundBudget = kMaxTotalSoundBytes;
    qsizetype frameSteps = 0;
    const QJsonObject animations = root.value(QLatin1String("animations")).toObject();
    if (animations.size() > kMaxAnimations)
        fail(path, QStringLiteral("the character has too many animations"));
    for (auto it = animations.begin(); it != animations.end(); ++it) {
        const QJsonObject a = it.value().toObject();
        Animation anim;
        anim.name = it.key();
        anim.returnName = a.value(QLatin1String("return")).toString();
        anim.loop = a.value(QLatin1String("loop")).toBool(false);
        for (const QJsonValue &f : a.value(QLatin1String("frames")).toArray()) {
            const QJsonObject frame = f.toObject();
            const QString image = frame.value(QLatin1String("image")).toString();
            if (image.isEmpty())
                fail(path, QStringLiteral("a frame of \"%1\" names no picture").arg(anim.name));
            if (++frameSteps > kMaxFrameSteps)
                fail(path, QStringLiteral("the character has too many frames"));
            FrameStep step;
            step.durationMs = qBound(10, frame.value(QLatin1String("duration")).toInt(100), kMaxFrameMs);
            if (!imageIndex.contains(image)) {
                const QByteArray png = readEntry(zip.get(), path, image, &found);
                if (!found)
                    fail(path, QStringLiteral("the frame \"%1\" is missing").arg(image));
                checkFrame(path, image, png, QSize(data.width, data.height), pixelBudget);
                imageIndex.insert(image, int(data.images.size()));
                data.images << png;   // decoded when first shown (FrameStore)
                data.imageEntries << image;
            }
            step.image = imageIndex.value(image);
            const QString sound = frame.value(QLatin1String("sound")).toString();
            if (!sound.isEmpty()) {
                if (!soundIndex.contains(sound)) {
                    // A missing or unplayable frame sound is only a missing effect.
                    const SoundClip clip = parseWav(readEntry(zip.get(), path, sound, &found));
                    soundBudget -= clip.pcm.size();
                    if (soundBudget < 0)
                        fail(path, QStringLiteral("the frame sounds are too large"));
                    soundIndex.insert(sound, clip.valid() ? int(data.sounds.size()) : -1);
                    if (clip.valid())
                        data.sounds << clip;
                }
                step.sound = soundIndex.value(sound);
            }
            anim.frames << step;
        }
        if (anim.frames.isEmpty())
            continue;   // an animation without frames cannot be played
        data.animations.insert(anim.name.toLower(), anim);
    }
    if (data.images.isEmpty())
        fail(path, QStringLiteral("the character has no frames"));
    return data;
}

} // namespace

PictureArchive::PictureArchive(const QString &path) : path_(path) {}

PictureArchive::~PictureArchive()
{
    if (zip_)
        zip_discard(zip_);
}

QByteArray PictureArchive::read(const QString &entry, qint64 limit)
{
    try {
        if (!zip_)
            zip_ = openArchive(path_).release();
        bool found = false;
        return readEntry(zip_, path_, entry, &found, zip_uint64_t(qBound<qint64>(0, limit, kMaxEntryBytes)));
    } catch (const AgentError &) {
        return {};
    } catch (const std::bad_alloc &) {
        return {};
    }
}

CharacterData loadCharacterFile(const QString &path)
{
    try {
        return readCharacterFile(path);
    } catch (const std::bad_alloc &) {
        fail(path, QStringLiteral("not enough memory"));
    }
}

} // namespace agent::detail
