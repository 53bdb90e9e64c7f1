#include "DataFiles.h"

#include "MessageBoxes.h"
#include "records.h"
#include "scramble_keys.h"
#include "Utilities.h"

#include <QPalette>
#include <QPointer>
#include <QThread>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

DataFileWindow *dataFileWindow = nullptr;

void closeDataFileWindow()
{
    if (dataFileWindow)
        dataFileWindow->close();
}

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

bool openWithRetry(const QString &path, const OpenRequest &request, QFile &file)
{
    if (file.isOpen())
        file.close();
    const QString native = NativePath(path);
    int failures = 0;
    for (;;) {
        switch (tryOpen(native, request, file)) {
        case Attempt::Opened:
            closeDataFileWindow();
            return true;
        case Attempt::Failed:
            closeDataFileWindow();
            return false;
        case Attempt::Held:
            if (++failures >= 51) {
                closeDataFileWindow();
                return false;
            }
            // The messenger holds its files for a moment only. The open is part of the
            // caller's step, so it sleeps rather than let other handlers run in between.
            QThread::msleep(static_cast<unsigned long>(ScaledInterval(200)));
            break;
        }
    }
}

} // namespace

DataFileWindow::DataFileWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("NetForm"));
    setWindowTitle(QStringLiteral("Network File Access"));
    setFixedSize(296, 41);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 0));
    setPalette(palette);
    setAutoFillBackground(true);
    dataFileWindow = this;
}

DataFileWindow::~DataFileWindow()
{
    if (dataFileWindow == this)
        dataFileWindow = nullptr;
}

DataFileWindow *DataFileWindow::instance()
{
    return dataFileWindow;
}

bool OpenDataFile(const QString &path, const QString &mode, QFile &file, int /*recordSize*/)
{
    OpenRequest request{O_RDWR | O_CREAT, LOCK_EX, true, QIODevice::ReadWrite};
    if (mode == QLatin1String("R"))
        request = {O_RDWR, LOCK_EX, false, QIODevice::ReadWrite};
    else if (mode == QLatin1String("RO"))
        request = {O_RDONLY, LOCK_SH, false, QIODevice::ReadOnly};
    return openWithRetry(path, request, file);
}

bool OpenTextFile(const QString &path, const QString &mode, QFile &file)
{
    OpenRequest request{O_RDONLY, LOCK_SH, false, QIODevice::ReadOnly};
    if (mode == QLatin1String("W"))
        request = {O_WRONLY | O_CREAT, LOCK_EX, true, QIODevice::WriteOnly};
    else if (mode == QLatin1String("A"))
        request = {O_WRONLY | O_APPEND, LOCK_EX, false, QIODevice::WriteOnly | QIODevice::Append};
    return openWithRetry(path, request, file);
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

QString HostFolder()
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

QString ReadParameter(const QString &name)
{
    const QString wanted = name.left(5);
    QFile file;
    if (!OpenTextFile(HostFolder() + GameFile::Parameters, QStringLiteral("R"), file)) {
        // One box, however many parameters are read meanwhile; the program ends once it
        // is answered.
        static bool told = false;
        if (!std::exchange(told, true)) {
            MessageBeep(BeepKind::Error);
            ShowMessageBox(BoxKind::Error, QStringLiteral("Hollyfrost is missing file HFparms.cfg\rand cannot continue."),
                           [] { TerminateApplication(); });
        }
        return QString();
    }
    while (!file.atEnd() && file.error() == QFileDevice::NoError) {
        QString line = ReadTextLine(file);
        const QString lineName =
            ShiftText(NextField(line), ScrambleKeys::ParameterName, ShiftDirection::Up).left(5);
        const QString value =
            ShiftText(NextField(line), ScrambleKeys::ParameterValue, ShiftDirection::Up).left(180);
        if (lineName == wanted)
            return value;
    }
    return QString();
}

int LookupCheckedUser(const QString &uin)
{
    QFile file;
    if (!OpenDataFile(ProgramFolder() + GameFile::CheckedBuddies, QStringLiteral("RO"), file, 1))
        return 0;
    int flag = 0;
    for (const QByteArray &raw : Records::ReadAllRecords(file, Records::CheckedUserRecord::Size)) {
        const auto record = Records::CheckedUserRecord::decode(raw);
        if (record.Uin == uin)
            flag = record.Checked;
    }
    return flag;
}

QString LookupUinAddress(const QString &uin)
{
    const QString path = ProgramFolder() + GameFile::UinAddresses;
    if (!FileExists(path))
        return QString();
    bool ok = false;
    const qint32 number = ToInteger(uin, &ok);
    if (!ok || uin.isEmpty())
        return QString();
    QFile file;
    if (!OpenDataFile(path, QStringLiteral("RO"), file, 1))
        return QString();
    for (;;) {
        const QByteArray raw = file.read(Records::UinAddressRecord::Size);
        if (raw.size() < Records::UinAddressRecord::Size)
            return QString();
        const auto record = Records::UinAddressRecord::decode(raw);
        if (record.Uin == number)
            return record.Address;
    }
}
