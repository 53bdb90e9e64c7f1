#include "DataFiles.h"

#include "records.h"
#include "scramble_keys.h"
#include "Utilities.h"


#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <utility>
#include <vector>

namespace {

enum class Attempt { Opened, Failed, Held };

// Windows error codes 1 to 4 (missing file, missing folder, too many open files) fail at
// once; everything else means another program holds the file and is retried.
Attempt classify(int error)
{
    switch (error) {
    case ENOENT: case ENOTDIR: case EMFILE: case ENFILE: case EISDIR: case EINVAL: case ENAMETOOLONG: case ELOOP:
    case ENXIO: case ENODEV:   // a FIFO without a reader, a device: not a data file
        return Attempt::Failed;
    default:
        return Attempt::Held;
    }
}

struct OpenRequest {
    int flags;
    int lock;
    bool truncate;
    QIODevice::OpenMode mode;
};

// The files this program holds locked now, with the file object that holds the lock. A
// handler that runs inside a retry's wait may open a file that the waiting code already
// holds: the program's own lock must not lock the program out.
struct HeldFile {
    QPointer<QFile> file;
    int fd;
    dev_t device;
    ino_t inode;
};
std::vector<HeldFile> heldFiles;

// A file object that was closed, reopened elsewhere or destroyed holds nothing now.
void forgetReleasedFiles()
{
    std::erase_if(heldFiles, [](const HeldFile &held) {
        return !held.file || !held.file->isOpen() || held.file->handle() != held.fd;
    });
}

bool heldByThisProgram(const struct stat &wanted)
{
    forgetReleasedFiles();
    return std::any_of(heldFiles.begin(), heldFiles.end(), [&wanted](const HeldFile &held) {
        return held.device == wanted.st_dev && held.inode == wanted.st_ino;
    });
}

Attempt tryOpen(const QString &native, const OpenRequest &request, QFile &file)
{
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    const int fd = ::open(native.toLocal8Bit().constData(), request.flags | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        return classify(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);   // a folder, FIFO or device is no data file: as if it were missing
        return Attempt::Failed;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    bool locked = true;
    if (::flock(fd, request.lock | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK || !heldByThisProgram(st)) {
            ::close(fd);
            return error == EWOULDBLOCK ? Attempt::Held : classify(error);
        }
        locked = false;   // held by this program itself: go on without a lock of its own
    }
    if (request.truncate && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        return classify(error);
    }
    file.setFileName(native);
    if (!file.open(fd, request.mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Attempt::Failed;
    }
    if (locked) {
        forgetReleasedFiles();   // else every open of a run would stay listed
        heldFiles.push_back({QPointer<QFile>(&file), fd, st.st_dev, st.st_ino});
    }
    return Attempt::Opened;
}

constexpr int RetryIntervalMs = 200;
constexpr int MaxTries = 51;

// One try.
Attempt openOnce(const QString &native, const OpenRequest &request, QFile &file)
{
    if (file.isOpen())
        file.close();
    return tryOpen(native, request, file);
}

Task<bool> openWhenFree(QString path, OpenRequest request, QFile &file)
{
    const QString native = NativePath(path);
    for (int tries = 1;; ++tries) {
        const Attempt attempt = openOnce(native, request, file);
        if (attempt != Attempt::Held || tries == MaxTries)
            co_return attempt == Attempt::Opened;
        // The messenger holds its files for a moment only; the windows, the timers and
        // the datagrams go on meanwhile.
        co_await Wait(RetryIntervalMs);
    }
}

OpenRequest dataFileRequest(const QString &mode)
{
    if (mode == QLatin1String("R"))
        return {O_RDWR, LOCK_EX, false, QIODevice::ReadWrite};
    if (mode == QLatin1String("RO"))
        return {O_RDONLY, LOCK_SH, false, QIODevice::ReadOnly};
    return {O_RDWR | O_CREAT, LOCK_EX, true, QIODevice::ReadWrite};
}

OpenRequest textFileRequest(const QString &mode)
{
    if (mode == QLatin1String("W"))
        return {O_WRONLY | O_CREAT, LOCK_EX, true, QIODevice::WriteOnly};
    if (mode == QLatin1String("A"))
        return {O_WRONLY | O_APPEND, LOCK_EX, false, QIODevice::WriteOnly | QIODevice::Append};
    return {O_RDONLY, LOCK_SH, false, QIODevice::ReadOnly};
}

// The messenger writes a handful of names; a file of thousands keeps only the first.
constexpr int MaxParameterNames = 256;

QString parameterFilePath(const QString &folder)
{
    return NativePath(folder + GameFile::Parameters);
}

std::array<qint64, 4> changeStamp(const struct stat &st)
{
    return {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool unchanged(const KeptParameters &kept)
{
    struct stat st;
    return kept.read && ::stat(kept.path.constData(), &st) == 0 && changeStamp(st) == kept.stamp;
}

quint16 portValue(const QString &text, quint16 fallback)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    return ok && value > 0 && value < 65536 ? static_cast<quint16>(value) : fallback;
}

void keepParameters(KeptParameters &kept, const QString &folder, const QString &native, QFile &file)
{
    struct stat st{};
    ::fstat(file.handle(), &st);
    kept.read = true;
    kept.folder = folder;
    kept.path = native.toLocal8Bit();
    kept.stamp = changeStamp(st);
    kept.values.clear();
    while (!file.atEnd() && file.error() == QFileDevice::NoError && kept.values.size() < MaxParameterNames) {
        QString line = ReadTextLine(file);
        const QString name = ShiftText(NextField(line), ScrambleKeys::ParameterName, ShiftDirection::Up).left(5);
        const QString value = ShiftText(NextField(line), ScrambleKeys::ParameterValue, ShiftDirection::Up).left(180);
        if (!kept.values.contains(name))   // the first line of a name wins
            kept.values.insert(name, value);
    }
    const MessengerPorts defaults;
    kept.ports = {portValue(kept.values.value(QStringLiteral("gampt")), defaults.game),
                  portValue(kept.values.value(QStringLiteral("udppt")), defaults.messenger)};
}

int checkedFlag(QFile &file, const QString &uin)
{
    int flag = 0;
    for (const QByteArray &raw : Records::ReadAllRecords(file, Records::CheckedUserRecord::Size)) {
        const auto record = Records::CheckedUserRecord::decode(raw);
        if (record.Uin == uin)
            flag = record.Checked;
    }
    return flag;
}

QString uinAddressPath()
{
    return ProgramFolder() + GameFile::UinAddresses;
}

// The UIN as the number UINIP.lst records, when the file is there to look in.
std::optional<qint32> listedUinNumber(const QString &uin)
{
    if (uin.isEmpty() || !FileExists(uinAddressPath()))
        return std::nullopt;
    bool ok = false;
    const qint32 number = ToInteger(uin, &ok);
    return ok ? std::optional<qint32>(number) : std::nullopt;
}

QString addressOf(QFile &file, qint32 number)
{
    for (;;) {
        const QByteArray raw = file.read(Records::UinAddressRecord::Size);
        if (raw.size() < Records::UinAddressRecord::Size)
            return QString();
        const auto record = Records::UinAddressRecord::decode(raw);
        if (record.Uin == number)
            return record.Address;
    }
}

} // namespace

MessengerParameters::MessengerParameters(std::function<void(std::function<void()>)> missingNotice)
    : missing(std::move(missingNotice))
{
}

void MessengerParameters::fileMissing()
{
    // One notice, however many parameters are read meanwhile; the program ends once it
    // is answered.
    if (std::exchange(missingTold, true))
        return;
    if (missing) {
        missing([] { TerminateApplication(); });
    } else {
        qWarning("Hollyfrost is missing file HFparms.cfg and cannot continue.");
        TerminateApplication();
    }
}

bool OpenDataFile(const QString &path, const QString &mode, QFile &file, int /*recordSize*/)
{
    return openOnce(NativePath(path), dataFileRequest(mode), file) == Attempt::Opened;
}

bool OpenTextFile(const QString &path, const QString &mode, QFile &file)
{
    return openOnce(NativePath(path), textFileRequest(mode), file) == Attempt::Opened;
}

Task<bool> OpenDataFileWhenFree(QString path, QString mode, QFile &file, int /*recordSize*/)
{
    return openWhenFree(std::move(path), dataFileRequest(mode), file);
}

Task<bool> OpenTextFileWhenFree(QString path, QString mode, QFile &file)
{
    return openWhenFree(std::move(path), textFileRequest(mode), file);
}

QString ReadTextLine(QFile &file)
{
    // Read in small pieces: a readLine() without a limit makes room for a whole read
    // buffer (16 KB) for every line, however short.
    QByteArray line;
    char piece[256];
    for (;;) {
        const qint64 got = file.readLine(piece, sizeof piece);
        if (got <= 0)
            break;
        line.append(piece, got);
        if (piece[got - 1] == '\n' || got < qint64(sizeof piece) - 1)
            break;
    }
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return FromBytes(line);
}

bool WriteTextLine(QFile &file, const QString &line)
{
    const QByteArray bytes = ToBytes(line) + "\r\n";
    return file.write(bytes) == bytes.size();
}

QString NextField(QString &text)
{
    const qsizetype at = text.indexOf(QLatin1String("&&"));
    if (at < 0)
        return text;
    const QString field = text.left(at);
    text = text.mid(at + 2, 20000);
    return field;
}

QString MessengerFolder()
{
    const QString exedir = RegReadText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Main"),
                                       QStringLiteral("exedir"));
    // The registry names the messenger's program file; its folder is where the
    // messenger keeps its files.
    if (FileExists(exedir))
        return FolderOfPath(exedir);
    QString folder = ProgramFolder();
    auto isSeparator = [](QChar c) { return c == u'\\' || c == u'/'; };
    while (!folder.isEmpty()) {
        if (FileExists(folder + QStringLiteral("hollyfro.exe")))
            return folder;
        qsizetype i = folder.size() - 2;
        while (i >= 1 && !isSeparator(folder[i]))
            --i;
        if (i < 1)
            folder.clear();
        else
            folder = folder.left(i + 1);
    }
    return QString();
}

// The parameters kept, read again when nothing was read yet or the file changed;
// nullptr when the file is missing. An unchanged file costs one stat: the messenger's
// folder is looked up (in the registry, then up the folders) only when the file is read.
const KeptParameters *MessengerParameters::current()
{
    if (unchanged(kept))
        return &kept;
    const QString folder = MessengerFolder();
    const QString native = parameterFilePath(folder);
    QFile file;
    switch (openOnce(native, textFileRequest(QStringLiteral("R")), file)) {
    case Attempt::Opened:
        keepParameters(kept, folder, native, file);
        break;
    case Attempt::Held:
        break;   // the messenger is writing it: the last values serve, a later call reads it
    case Attempt::Failed:
        fileMissing();
        // A file gone after it was read: its last values carry the goodbye that follows.
        return kept.read ? &kept : nullptr;
    }
    return &kept;
}

QString MessengerParameters::value(const QString &name)
{
    const KeptParameters *read = current();
    return read ? read->values.value(name.left(5)) : QString();
}

MessengerPorts MessengerParameters::ports()
{
    const KeptParameters *read = current();
    return read ? read->ports : MessengerPorts();
}

Task<> MessengerParameters::readWhenFree()
{
    if (kept.read)
        co_return;   // read before: the kept values serve while the file is held
    const std::weak_ptr<bool> alive = alive_;
    const QString folder = MessengerFolder();
    const QString native = parameterFilePath(folder);
    QFile file;
    const bool opened = co_await openWhenFree(native, textFileRequest(QStringLiteral("R")), file);
    if (alive.expired())
        co_return;   // gone during the wait
    if (opened)
        keepParameters(kept, folder, native, file);
    else
        fileMissing();
}

Task<int> LookupCheckedUserWhenFree(QString uin)
{
    QFile file;
    const bool opened = co_await OpenDataFileWhenFree(ProgramFolder() + GameFile::CheckedBuddies, QStringLiteral("RO"), file, 1);
    co_return opened ? checkedFlag(file, uin) : 0;
}

QString LookupUinAddress(const QString &uin)
{
    const std::optional<qint32> number = listedUinNumber(uin);
    QFile file;
    if (!number || !OpenDataFile(uinAddressPath(), QStringLiteral("RO"), file, 1))
        return QString();
    return addressOf(file, *number);
}

Task<QString> LookupUinAddressWhenFree(QString uin)
{
    const std::optional<qint32> number = listedUinNumber(uin);
    if (!number)
        co_return QString();
    QFile file;
    const bool opened = co_await OpenDataFileWhenFree(uinAddressPath(), QStringLiteral("RO"), file, 1);
    co_return opened ? addressOf(file, *number) : QString();
}
