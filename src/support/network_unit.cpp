#include "network_unit.h"

#include "MessageBoxes.h"
#include "kw_unit.h"
#include "records.h"
#include "scramble_keys.h"

#include <QPalette>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TNetForm *netForm = nullptr;

void closeNetForm()
{
    if (netForm)
        netForm->close();
}

enum class Attempt { Opened, Failed, Held };

// Windows error codes 1 to 4 (missing file, missing folder, too many open files) fail at
// once; everything else means another program holds the file and is retried.
Attempt classify(int error)
{
    switch (error) {
    case ENOENT: case ENOTDIR: case EMFILE: case ENFILE: case EISDIR: case EINVAL: case ENAMETOOLONG: case ELOOP:
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

Attempt tryOpen(const QString &native, const OpenRequest &request, QFile &file)
{
    const int fd = ::open(native.toLocal8Bit().constData(), request.flags | O_CLOEXEC, 0644);
    if (fd < 0)
        return classify(errno);
    if (::flock(fd, request.lock | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Attempt::Held : classify(error);
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
            closeNetForm();
            return true;
        case Attempt::Failed:
            closeNetForm();
            return false;
        case Attempt::Held:
            if (++failures >= 51) {
                closeNetForm();
                return false;
            }
            Delay(200);
            break;
        }
    }
}

} // namespace

TNetForm::TNetForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("NetForm"));
    setWindowTitle(QStringLiteral("Network File Access"));
    setFixedSize(296, 41);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 0));
    setPalette(palette);
    setAutoFillBackground(true);
    netForm = this;
}

TNetForm::~TNetForm()
{
    if (netForm == this)
        netForm = nullptr;
}

TNetForm *TNetForm::instance()
{
    return netForm;
}

bool OpenDataFile(const QString &path, const QString &mode, QFile &file, int /*recordSize*/)
{
    const OpenRequest request = mode == QLatin1String("R")
        ? OpenRequest{O_RDWR, LOCK_EX, false, QIODevice::ReadWrite}
        : OpenRequest{O_RDWR | O_CREAT, LOCK_EX, true, QIODevice::ReadWrite};
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
    QByteArray line = file.readLine();
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
    if (!OpenTextFile(HostFolder() + QStringLiteral("HFparms.cfg"), QStringLiteral("R"), file)) {
        MessageBeep(BeepKind::Error);
        ShowMessageBox(BoxKind::Error, QStringLiteral("Hollyfrost is missing file HFparms.cfg\rand cannot continue."));
        TerminateApplication();
        return QString();
    }
    while (!file.atEnd()) {
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
    if (!OpenDataFile(ProgramFolder() + QStringLiteral("checkedusr.lst"), QStringLiteral("R"), file, 1))
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
    const QString path = ProgramFolder() + QStringLiteral("UINIP.lst");
    if (!FileExists(path))
        return QString();
    bool ok = false;
    const qint32 number = ToInteger(uin, &ok);
    if (!ok || uin.isEmpty())
        return QString();
    QFile file;
    if (!OpenDataFile(path, QStringLiteral("R"), file, 1))
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
