#include "CharacterFile.h"

#include "Agent.h"
#include "FrameStore.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <zip.h>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

QString stateName(const QJsonObject &states, const char *key)
{
    return states.value(QLatin1String(key)).toString();
}

enum class EntryState { Read, Missing, TooLarge, Unreadable, Damaged };

struct Entry
{
    EntryState state = EntryState::Missing;
    QByteArray bytes;
};

QString entryName(QString name)
{
    while (name.startsWith(QLatin1String("./")))
        name.remove(0, 2);
    return name;
}

// Why an entry that is there could not be read, as the game says it.
QString entryTrouble(const QString &name, EntryState state)
{
    switch (state) {
    case EntryState::TooLarge: return QStringLiteral("\"%1\" is too large").arg(name);
    case EntryState::Unreadable: return QStringLiteral("\"%1\" cannot be read").arg(name);
    default: return QStringLiteral("\"%1\" is damaged").arg(name);
    }
}

Entry readZipEntry(zip_t *zip, const QString &name, zip_uint64_t limit)
{
    const QByteArray utf8 = entryName(name).toUtf8();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(zip, utf8.constData(), 0, &st) != 0)
        return {};
    if (!(st.valid & ZIP_STAT_SIZE) || st.size > limit)
        return {EntryState::TooLarge, {}};
    zip_file_t *file = zip_fopen(zip, utf8.constData(), 0);
    if (!file)
        return {EntryState::Unreadable, {}};
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    const zip_int64_t got = st.size ? zip_fread(file, bytes.data(), st.size) : 0;
    zip_fclose(file);
    if (got < 0 || zip_uint64_t(got) != st.size)
        return {EntryState::Damaged, {}};
    return {EntryState::Read, bytes};
}

// Opens the archive without following anything but a regular file: a FIFO or device
// named like a character file would block or never end. Null, with the reason, when
// it cannot.
ZipPtr openArchive(const QString &path, QString *why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = QStringLiteral("the file cannot be opened");
        return {};
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *why = QStringLiteral("not a regular file");
        return {};
    }
    int error = 0;
    zip_t *zip = zip_fdopen(fd, 0, &error);
    if (!zip) {
        ::close(fd);
        *why = QStringLiteral("not a character file (not a zip archive)");
        return {};
    }
    if (zip_get_num_entries(zip, 0) > kMaxEntries) {
        zip_discard(zip);
        *why = QStringLiteral("the file has too many entries");
        return {};
    }
    return ZipPtr(zip);
}

// Where a character's entries come from: its archive, or, for a character not packed
// yet, a folder.
class EntrySource
{
public:
    virtual ~EntrySource() = default;
    virtual Entry read(const QString &name, zip_uint64_t limit) = 0;
};

class ArchiveSource : public EntrySource
{
public:
    explicit ArchiveSource(ZipPtr zip) : zip_(std::move(zip)) {}
    Entry read(const QString &name, zip_uint64_t limit) override { return readZipEntry(zip_.get(), name, limit); }

private:
    ZipPtr zip_;
};

// Entries are the folder's regular files; a name that would leave the folder is missing,
// as it would be from the archive packed of it.
class FolderSource : public EntrySource
{
public:
    explicit FolderSource(const QString &folder) : folder_(folder) {}
    Entry read(const QString &name, zip_uint64_t limit) override
    {
        const QString entry = entryName(name);
        if (entry.isEmpty() || entry.startsWith(u'/') || entry.split(u'/').contains(QLatin1String("..")))
            return {};
        const QFileInfo info(folder_.filePath(entry));
        if (!info.exists())
            return {};
        if (!info.isFile())
            return {EntryState::Unreadable, {}};
        if (zip_uint64_t(info.size()) > limit)
            return {EntryState::TooLarge, {}};
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return {EntryState::Unreadable, {}};
        QByteArray bytes = file.read(qint64(limit) + 1);
        if (zip_uint64_t(bytes.size()) > limit)
            return {EntryState::TooLarge, {}};
        return {EntryState::Read, bytes};
    }

private:
    QDir folder_;
};

// Why a frame picture is refused, judged by its PNG header before any pixel is decoded,
// or empty, with its number of pixels (for the budget). The pixels are decoded only when
// the frame is first shown.
QString frameTrouble(const QString &name, const QByteArray &png, QSize frame, qint64 *pixels)
{
    const QString notPng = QStringLiteral("the frame \"%1\" is not a PNG picture").arg(name);
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return notPng;
    // Before the reader sees it: the reader takes as much memory as a chunk claims.
    if (!pngChunksFit(png))
        return QStringLiteral("the frame \"%1\" is damaged: a part of it claims more than it holds or "
                              "than a picture needs").arg(name);
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!size.isValid())
        return notPng;
    if (size.width() > frame.width() || size.height() > frame.height())
        return QStringLiteral("the frame \"%1\" is larger than the character").arg(name);
    *pixels = qint64(size.width()) * size.height();
    return {};
}

CharacterProblem problemOf(const QString &what, const QString &animation = {}, int frame = 0)
{
    CharacterProblem problem;
    problem.what = what;
    problem.animation = animation;
    problem.frame = frame;
    return problem;
}

// The line and column (from 1, in characters) of a byte offset into the text.
void placeInText(const QByteArray &text, qsizetype offset, CharacterProblem &problem)
{
    offset = qBound<qsizetype>(0, offset, text.size());
    const qsizetype lineStart = text.lastIndexOf('\n', offset - 1) + 1;
    problem.line = int(text.left(lineStart).count('\n')) + 1;
    problem.column = int(QString::fromUtf8(text.mid(lineStart, offset - lineStart)).size()) + 1;
}

} // namespace

const Animation *CharacterData::find(const QString &name) const
{
    const auto it = animations.constFind(name.toLower());
    return it == animations.constEnd() ? nullptr : &it.value();
}

namespace {

// The one reader of characters. Without a problem list (the game), the first problem
// that refuses the file throws, and the problems it makes do with are not looked for;
// with one (checking a character), every problem is listed and reading goes on past
// each where it can.
class CharacterReader
{
public:
    CharacterReader(const QString &path, QVector<CharacterProblem> *problems) : path_(path), problems_(problems) {}

    CharacterData read(EntrySource &source);
    void refuse(CharacterProblem problem)
    {
        if (!problems_)
            fail(path_, problem.what);
        problems_->append(std::move(problem));
    }

private:
    void tolerate(CharacterProblem problem)
    {
        problem.refused = false;
        problems_->append(std::move(problem));
    }
    bool readFrames(EntrySource &source, const QJsonArray &frames, Animation &anim, CharacterData &data);
    void checkNames(const CharacterData &data, const QJsonObject &root);
    void checkPictures(const CharacterData &data);

    QString path_;
    QVector<CharacterProblem> *problems_;
    QHash<QString, int> imageIndex_, soundIndex_;   // -1: refused, or a sound that cannot play
    qint64 pixelBudget_ = kMaxTotalPixels, soundBudget_ = kMaxTotalSoundBytes;
    qsizetype frameSteps_ = 0;
    bool picturesOverBudget_ = false, soundsOverBudget_ = false;
};

CharacterData CharacterReader::read(EntrySource &source)
{
    CharacterData data;
    const QString jsonName = QStringLiteral("character.json");
    const Entry json = source.read(jsonName, kMaxJsonBytes);
    if (json.state != EntryState::Read) {
        refuse(problemOf(json.state == EntryState::Missing ? QStringLiteral("not a character file (no character.json)")
                                                          : entryTrouble(jsonName, json.state)));
        return data;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json.bytes, &parseError);
    if (!doc.isObject()) {
        const bool parsed = parseError.error == QJsonParseError::NoError;
        CharacterProblem problem = problemOf(QStringLiteral("character.json is not valid: %1")
                                                 .arg(parsed ? QStringLiteral("not an object") : parseError.errorString()));
        if (!parsed)
            placeInText(json.bytes, parseError.offset, problem);
        refuse(problem);
        return data;
    }
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String("hollyfrost-character")
        || root.value(QLatin1String("version")).toInt() != 1) {
        refuse(problemOf(QStringLiteral("not a character file of a known format and version")));
        return data;
    }

    data.name = root.value(QLatin1String("name")).toString();
    data.width = root.value(QLatin1String("width")).toInt();
    data.height = root.value(QLatin1String("height")).toInt();
    if (data.width < 1 || data.height < 1 || data.width > kMaxSide || data.height > kMaxSide) {
        refuse(problemOf(QStringLiteral("the frame size is missing or out of range")));
        data.width = data.height = kMaxSide;   // the frames are judged by the rest
    }

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

    const QJsonObject animations = root.value(QLatin1String("animations")).toObject();
    if (animations.size() > kMaxAnimations)
        refuse(problemOf(QStringLiteral("the character has too many animations")));
    for (auto it = animations.begin(); it != animations.end(); ++it) {
        const QJsonObject a = it.value().toObject();
        Animation anim;
        anim.name = it.key();
        anim.returnName = a.value(QLatin1String("return")).toString();
        anim.loop = a.value(QLatin1String("loop")).toBool(false);
        const QJsonArray frames = a.value(QLatin1String("frames")).toArray();
        if (!readFrames(source, frames, anim, data))
            break;
        if (anim.frames.isEmpty()) {
            // An animation without frames cannot be played.
            if (problems_ && frames.isEmpty())
                tolerate(problemOf(QStringLiteral("the animation has no frames (the game leaves it out)"), anim.name));
            continue;
        }
        data.animations.insert(anim.name.toLower(), anim);
    }
    if (data.images.isEmpty() && frameSteps_ == 0)
        refuse(problemOf(QStringLiteral("the character has no frames")));
    if (problems_) {
        checkNames(data, root);
        checkPictures(data);
    }
    return data;
}

// Reads one animation's frames; false once the character has too many frames.
bool CharacterReader::readFrames(EntrySource &source, const QJsonArray &frames, Animation &anim, CharacterData &data)
{
    int number = 0;
    for (const QJsonValue &f : frames) {
        ++number;
        auto problem = [&anim, number](const QString &what) { return problemOf(what, anim.name, number); };
        const QJsonObject frame = f.toObject();
        const QString image = frame.value(QLatin1String("image")).toString();
        if (image.isEmpty()) {
            refuse(problem(QStringLiteral("a frame of \"%1\" names no picture").arg(anim.name)));
            continue;
        }
        if (++frameSteps_ > kMaxFrameSteps) {
            refuse(problem(QStringLiteral("the character has too many frames")));
            return false;
        }
        FrameStep step;
        const QJsonValue duration = frame.value(QLatin1String("duration"));
        step.durationMs = qBound(10, duration.toInt(100), kMaxFrameMs);
        if (problems_ && (duration.isUndefined() || duration.toInt(-1) != step.durationMs))
            tolerate(problem(duration.isUndefined()
                                 ? QStringLiteral("the frame has no duration (the game shows it for 100 ms)")
                                 : QStringLiteral("the duration is not a whole number of milliseconds from 10 to %1 "
                                                  "(the game shows it for %2 ms)").arg(kMaxFrameMs).arg(step.durationMs)));
        if (!imageIndex_.contains(image)) {
            const Entry png = source.read(image, kMaxEntryBytes);
            qint64 pixels = 0;
            const QString trouble = png.state == EntryState::Missing ? QStringLiteral("the frame \"%1\" is missing").arg(image)
                                    : png.state != EntryState::Read ? entryTrouble(image, png.state)
                                    : frameTrouble(image, png.bytes, QSize(data.width, data.height), &pixels);
            pixelBudget_ -= pixels;
            if (!trouble.isEmpty())
                refuse(problem(trouble));
            else if (pixelBudget_ < 0 && !std::exchange(picturesOverBudget_, true))
                refuse(problem(QStringLiteral("the frames are too many or too large")));
            // Past the budget, a picture is only checked, not kept.
            const bool keep = trouble.isEmpty() && pixelBudget_ >= 0;
            imageIndex_.insert(image, keep ? int(data.images.size()) : -1);
            if (keep) {
                data.images << png.bytes;   // decoded when first shown (FrameStore)
                data.imageEntries << entryName(image);
            }
        }
        step.image = imageIndex_.value(image);
        if (step.image < 0)
            continue;
        const QString sound = frame.value(QLatin1String("sound")).toString();
        if (!sound.isEmpty()) {
            if (!soundIndex_.contains(sound)) {
                // A missing or unplayable frame sound is only a missing effect.
                const Entry wav = source.read(sound, kMaxEntryBytes);
                const SoundClip clip = parseWav(wav.bytes);
                if (wav.state != EntryState::Read && wav.state != EntryState::Missing)
                    refuse(problem(entryTrouble(sound, wav.state)));
                else if (problems_ && !clip.valid())
                    tolerate(problem(QStringLiteral("the sound \"%1\" is %2 (the game plays none)")
                                         .arg(sound, wav.state == EntryState::Missing ? QStringLiteral("missing")
                                                                                     : QStringLiteral("not a WAV file it can play"))));
                soundBudget_ -= clip.pcm.size();
                if (soundBudget_ < 0 && !std::exchange(soundsOverBudget_, true))
                    refuse(problem(QStringLiteral("the frame sounds are too large")));
                const bool keep = clip.valid() && soundBudget_ >= 0;
                soundIndex_.insert(sound, keep ? int(data.sounds.size()) : -1);
                if (keep) {
                    data.sounds << clip;
                    data.soundEntries << entryName(sound);
                }
            }
            step.sound = soundIndex_.value(sound);
        }
        anim.frames << step;
    }
    return true;
}

// The animations the states and returns name, which the character should have.
void CharacterReader::checkNames(const CharacterData &data, const QJsonObject &root)
{
    const auto lacks = [&data](const QString &name) { return !name.isEmpty() && !data.find(name); };
    const QList<QPair<const char *, QString>> states = {
        {"states.showing", data.showing}, {"states.hiding", data.hiding}, {"states.speaking", data.speaking},
        {"states.moving.left", data.moveLeft}, {"states.moving.right", data.moveRight},
        {"states.moving.up", data.moveUp}, {"states.moving.down", data.moveDown}};
    for (const auto &[key, name] : states)
        if (lacks(name))
            tolerate(problemOf(QStringLiteral("%1 names the animation \"%2\", which the character lacks")
                                  .arg(QLatin1String(key), name)));
    for (const QStringList &level : data.idling)
        for (const QString &name : level)
            if (lacks(name))
                tolerate(problemOf(QStringLiteral("states.idling names the animation \"%1\", which the character lacks").arg(name)));
    const QJsonObject animations = root.value(QLatin1String("animations")).toObject();
    for (auto it = animations.begin(); it != animations.end(); ++it) {
        const QString returnName = it.value().toObject().value(QLatin1String("return")).toString();
        if (lacks(returnName))
            tolerate(problemOf(QStringLiteral("its return animation \"%1\" is missing").arg(returnName), it.key()));
    }
}

// Pictures whose header is right but whose pixels do not decode: the game shows each as
// a blank frame. Decoded as the frame store decodes them when a frame is first shown.
void CharacterReader::checkPictures(const CharacterData &data)
{
    for (qsizetype n = 0; n < data.images.size(); ++n) {
        if (!decodePicture(data.images[n]).isNull())
            continue;
        CharacterProblem problem = problemOf(QStringLiteral("the frame \"%1\" is damaged past its header (the "
                                                            "game shows a blank frame)").arg(data.imageEntries[n]));
        for (const Animation &anim : data.animations) {
            const auto step = std::find_if(anim.frames.begin(), anim.frames.end(),
                                           [n](const FrameStep &s) { return s.image == n; });
            if (step != anim.frames.end()) {
                problem.animation = anim.name;
                problem.frame = int(step - anim.frames.begin()) + 1;
                break;
            }
        }
        tolerate(problem);
    }
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
        QString why;
        if (!zip_)
            zip_ = openArchive(path_, &why).release();
        if (!zip_)
            return {};
        const Entry read = readZipEntry(zip_, entry, zip_uint64_t(qBound<qint64>(0, limit, kMaxEntryBytes)));
        return read.state == EntryState::Read ? read.bytes : QByteArray();
    } catch (const std::bad_alloc &) {
        return {};
    }
}

CharacterData loadCharacterFile(const QString &path)
{
    try {
        if (path.isEmpty())
            fail(path, QStringLiteral("no file name"));
        QString why;
        ZipPtr zip = openArchive(path, &why);
        if (!zip)
            fail(path, why);
        ArchiveSource source(std::move(zip));
        return CharacterReader(path, nullptr).read(source);
    } catch (const std::bad_alloc &) {
        fail(path, QStringLiteral("not enough memory"));
    }
}

CharacterData inspectCharacter(const QString &path, QVector<CharacterProblem> &problems)
{
    CharacterReader reader(path, &problems);
    try {
        if (QFileInfo(path).isDir()) {
            FolderSource source(path);
            return reader.read(source);
        }
        QString why = QStringLiteral("no file name");
        ZipPtr zip = path.isEmpty() ? nullptr : openArchive(path, &why);
        if (!zip) {
            reader.refuse(problemOf(why));
            return {};
        }
        ArchiveSource source(std::move(zip));
        return reader.read(source);
    } catch (const std::bad_alloc &) {
        reader.refuse(problemOf(QStringLiteral("not enough memory")));
        return {};
    }
}

} // namespace agent::detail
