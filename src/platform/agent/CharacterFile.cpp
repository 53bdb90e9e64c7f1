#include "CharacterFile.h"

#include "Agent.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <zip.h>

#include <memory>

namespace agent::detail {

namespace {

constexpr zip_uint64_t kMaxEntryBytes = 32 * 1024 * 1024;
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
QByteArray readEntry(zip_t *zip, const QString &path, const QString &name, bool *found)
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
    if (!(st.valid & ZIP_STAT_SIZE) || st.size > kMaxEntryBytes)
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

} // namespace

const Animation *CharacterData::find(const QString &name) const
{
    const auto it = animations.constFind(name.toLower());
    return it == animations.constEnd() ? nullptr : &it.value();
}

CharacterData loadCharacterFile(const QString &path)
{
    if (path.isEmpty())
        fail(path, QStringLiteral("no file name"));
    int error = 0;
    ZipPtr zip(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error));
    if (!zip)
        fail(path, error == ZIP_ER_NOENT || error == ZIP_ER_OPEN
                       ? QStringLiteral("the file cannot be opened")
                       : QStringLiteral("not a character file (not a zip archive)"));

    bool found = false;
    const QByteArray json = readEntry(zip.get(), path, QStringLiteral("character.json"), &found);
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
    const QJsonObject animations = root.value(QLatin1String("animations")).toObject();
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
            FrameStep step;
            step.durationMs = qBound(10, frame.value(QLatin1String("duration")).toInt(100), kMaxFrameMs);
            if (!imageIndex.contains(image)) {
                const QByteArray png = readEntry(zip.get(), path, image, &found);
                if (!found)
                    fail(path, QStringLiteral("the frame \"%1\" is missing").arg(image));
                QImage picture;
                if (!png.startsWith("\x89PNG\r\n\x1a\n") || !picture.loadFromData(png, "PNG"))
                    fail(path, QStringLiteral("the frame \"%1\" is not a PNG picture").arg(image));
                imageIndex.insert(image, int(data.images.size()));
                data.images << picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            }
            step.image = imageIndex.value(image);
            const QString sound = frame.value(QLatin1String("sound")).toString();
            if (!sound.isEmpty()) {
                if (!soundIndex.contains(sound)) {
                    // A missing or unplayable frame sound is only a missing effect.
                    const SoundClip clip = parseWav(readEntry(zip.get(), path, sound, &found));
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

} // namespace agent::detail
