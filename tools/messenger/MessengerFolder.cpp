#include "MessengerFolder.h"

#include "Utilities.h"
#include "records.h"
#include "scramble_keys.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

bool parsePort(const QString &text, int &port)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

// Empty when the buddy is good, else what is wrong with it.
QString parseBuddy(const QString &text, BuddySetting &buddy)
{
    const QStringList parts = text.split(u':');
    if (parts.size() < 3 || parts.size() > 4 || (parts.size() == 4 && parts[3] != QLatin1String("unchecked")))
        return QStringLiteral("a buddy is UIN:NAME:ADDRESS[:unchecked], not %1").arg(text);
    buddy.uin = parts[0];
    buddy.name = parts[1];
    buddy.address = parts[2];
    buddy.checked = parts.size() == 3;
    // The UIN is written as text into the messenger's files: digits only, no blanks.
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,12}$"));
    if (!digits.match(buddy.uin).hasMatch())
        return QStringLiteral("the buddy UIN \"%1\" must be 1 to 12 digits, without blanks").arg(buddy.uin);
    if (buddy.name.isEmpty())
        return QStringLiteral("the buddy with UIN %1 has no name").arg(buddy.uin);
    // online.txt holds one buddy a line, its fields separated by TABs.
    if (buddy.name.contains(u'\t') || buddy.name.contains(u'\r') || buddy.name.contains(u'\n'))
        return QStringLiteral("the buddy name of UIN %1 must not hold a line break or a TAB").arg(buddy.uin);
    if (!buddy.address.isEmpty() && QHostAddress(buddy.address).protocol() != QAbstractSocket::IPv4Protocol)
        return QStringLiteral("the buddy address \"%1\" is not an IPv4 address").arg(buddy.address);
    return QString();
}

// What init changes on disk, so that a failure puts everything back as it was found:
// files it replaced are moved aside first and moved back; files and folders it made
// are removed again.
class FolderChanges
{
public:
    bool makeFolder(const QString &path, QString &error)
    {
        QStringList missing;
        for (QString folder = QDir::cleanPath(path); !QFileInfo::exists(folder) && !folder.isEmpty();
             folder = QFileInfo(folder).path()) {
            missing.prepend(folder);
            if (folder == QFileInfo(folder).path())
                break;
        }
        for (const QString &folder : std::as_const(missing)) {
            if (!QDir().mkdir(folder)) {
                error = QStringLiteral("cannot create %1").arg(folder);
                return false;
            }
            created << folder;
        }
        if (!QFileInfo(path).isDir()) {
            error = QStringLiteral("%1 is not a folder").arg(path);
            return false;
        }
        return true;
    }

    // Call before writing a file: an existing one is moved aside, a new one remembered.
    bool aboutToWrite(const QString &path, QString &error)
    {
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink()) {
            created << path;
            return true;
        }
        if (QFileInfo(path).isDir()) {
            error = QStringLiteral("%1 is a folder, not a file").arg(path);
            return false;
        }
        const QString aside = path + QStringLiteral(".init-%1").arg(moved.size());
        if (QFileInfo::exists(aside) || !QFile::rename(path, aside)) {
            error = QStringLiteral("cannot replace %1").arg(path);
            return false;
        }
        moved.append({aside, path});
        return true;
    }

    // A file made outside aboutToWrite that a failure must remove again.
    void made(const QString &path) { created << path; }

    void undo()
    {
        for (auto it = created.crbegin(); it != created.crend(); ++it) {
            if (QFileInfo(*it).isDir() && !QFileInfo(*it).isSymLink())
                QDir().rmdir(*it);
            else
                QFile::remove(*it);
        }
        for (const auto &[aside, original] : std::as_const(moved)) {
            QFile::remove(original);
            QFile::rename(aside, original);
        }
    }

    void keep()
    {
        for (const auto &change : std::as_const(moved))
            QFile::remove(change.first);
    }

private:
    QStringList created;                     // in the order made
    QList<QPair<QString, QString>> moved;    // (moved aside to, original path)
};

bool writeFile(FolderChanges &changes, const QString &path, const QByteArray &bytes, QString &error)
{
    return changes.aboutToWrite(path, error) && WriteWholeFile(path, bytes, error);
}

bool copyInto(FolderChanges &changes, const QString &source, const QString &target, QString &error)
{
    if (!changes.aboutToWrite(target, error))
        return false;
    if (!QFile::copy(source, target)) {
        error = QStringLiteral("cannot copy %1 to %2").arg(source, target);
        return false;
    }
    return true;
}

bool copyTree(FolderChanges &changes, const QString &source, const QString &target, QString &error)
{
    QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString destination = target + u'/' + QDir(source).relativeFilePath(file);
        if (!changes.makeFolder(QFileInfo(destination).absolutePath(), error)
            || !copyInto(changes, file, destination, error))
            return false;
    }
    return true;
}

// A scrambled parameter field must not hold the field separator or a line end.
QByteArray scrambledField(const QString &text, quint8 key, QString &error)
{
    const QByteArray bytes = ShiftText(ToBytes(text), key, ShiftDirection::Down);
    if (bytes.contains("&&") || bytes.contains('\r') || bytes.contains('\n') || bytes.contains('&'))
        error = QStringLiteral("the parameter %1 cannot be stored scrambled").arg(text);
    return bytes;
}

QByteArray parameterFile(const MessengerSetup &setup, QString &error)
{
    QByteArray text;
    const QList<QPair<QString, QString>> parameters = {
        {QStringLiteral("gampt"), QString::number(setup.gamePort)},
        {QStringLiteral("udppt"), QString::number(setup.messengerPort)},
    };
    for (const auto &[name, value] : parameters) {
        text += scrambledField(name, ScrambleKeys::ParameterName, error) + "&&"
                + scrambledField(value, ScrambleKeys::ParameterValue, error) + "\r\n";
    }
    return text;
}

bool writeGameFiles(FolderChanges &changes, const MessengerSetup &setup, const QString &games, QString &error)
{
    Records::OptionsRecord options;
    options.UserName = setup.name;
    options.UserUin = setup.uin;
    options.DisplayName = setup.displayName;
    options.SpokenName = setup.spokenName;
    options.UserCharacterFile = setup.characterFile;
    options.LanguageSuffix = setup.languageSuffix;
    const ContactFiles files = EncodeContactFiles(setup.buddies);
    return writeFile(changes, games + QStringLiteral("/hollyfro.opt"), Records::EncodeOptions(options), error)
           && writeFile(changes, games + QStringLiteral("/online.txt"), files.online, error)
           && writeFile(changes, games + QStringLiteral("/checkedusr.lst"), files.checked, error)
           && writeFile(changes, games + QStringLiteral("/UINIP.lst"), files.addresses, error);
}

// The game and the data it reads from its program folder, as the build leaves them.
bool copyDistribution(FolderChanges &changes, const QString &distribution, const QString &games, QString &error)
{
    const QDir source(distribution);
    const QStringList patterns = {QStringLiteral("hollyfrost-games"), QStringLiteral("*.acs"),
                                  QStringLiteral("*.mid"), QStringLiteral("*.jpg"), QStringLiteral("*.lst"),
                                  QStringLiteral("*.bak")};
    for (const QString &name : source.entryList(patterns, QDir::Files)) {
        if (!copyInto(changes, source.filePath(name), games + u'/' + name, error))
            return false;
    }
    for (const QString &folder : {QStringLiteral("Languages"), QStringLiteral("help")}) {
        if (source.exists(folder) && !copyTree(changes, source.filePath(folder), games + u'/' + folder, error))
            return false;
    }
    if (QFileInfo::exists(games + QStringLiteral("/hollyfrost-games")))
        QFile::setPermissions(games + QStringLiteral("/hollyfrost-games"),
                              QFile::permissions(source.filePath(QStringLiteral("hollyfrost-games"))));
    return true;
}

} // namespace

int LockMessengerFolder(const QString &root, int waitMs)
{
    const int fd = ::open(QFile::encodeName(root + QStringLiteral("/online.lock")).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    constexpr int StepMs = 100;
    for (int waited = 0; ::flock(fd, LOCK_EX | LOCK_NB) != 0; waited += StepMs) {
        if (waited >= waitMs) {
            ::close(fd);
            return -1;
        }
        QThread::msleep(StepMs);
    }
    return fd;
}

bool ParseInitArguments(const QStringList &arguments, MessengerSetup &setup, QString &error)
{
    bool haveName = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--"))) {
            if (!setup.folder.isEmpty()) {
                error = QStringLiteral("unexpected argument %1").arg(argument);
                return false;
            }
            setup.folder = argument;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = QStringLiteral("%1 needs a value").arg(argument);
            return false;
        }
        const QString value = arguments[++i];
        bool ok = true;
        if (argument == QLatin1String("--name")) {
            setup.name = value;
            haveName = true;
        } else if (argument == QLatin1String("--uin")) {
            setup.uin = value.toInt(&ok);
            ok = ok && setup.uin > 0;
        } else if (argument == QLatin1String("--display-name")) {
            setup.displayName = value;
        } else if (argument == QLatin1String("--spoken-name")) {
            setup.spokenName = value;
        } else if (argument == QLatin1String("--character")) {
            setup.characterFile = value;
        } else if (argument == QLatin1String("--language")) {
            setup.languageSuffix = value;
            setup.languageGiven = true;
        } else if (argument == QLatin1String("--game-port")) {
            ok = parsePort(value, setup.gamePort);
        } else if (argument == QLatin1String("--messenger-port")) {
            ok = parsePort(value, setup.messengerPort);
        } else if (argument == QLatin1String("--buddy")) {
            BuddySetting buddy;
            error = parseBuddy(value, buddy);
            if (!error.isEmpty())
                return false;
            setup.buddies.append(buddy);
        } else {
            error = QStringLiteral("unknown option %1").arg(argument);
            return false;
        }
        if (!ok) {
            error = QStringLiteral("bad value for %1: %2").arg(argument, value);
            return false;
        }
    }
    if (haveName && setup.name.isEmpty()) {
        error = QStringLiteral("the name must not be empty");
        return false;
    }
    return true;
}

bool CreateMessengerFolder(const MessengerSetup &setup, const QString &distributionFolder,
                           const QString &characterLibrary, QString &error)
{
    const QString root = QFileInfo(setup.folder).absoluteFilePath();
    if (QFileInfo::exists(root) && !QFileInfo(root).isDir()) {
        error = QStringLiteral("%1 exists and is not a folder").arg(root);
        return false;
    }
    const QString games = root + QStringLiteral("/Games");
    const QString chars = root + QStringLiteral("/Windows/msagent/chars");
    const QByteArray parameters = parameterFile(setup, error);
    if (!error.isEmpty())
        return false;
    FolderChanges changes;
    if (!changes.makeFolder(root, error))
        return false;
    const QString lockPath = root + QStringLiteral("/online.lock");
    const bool lockIsNew = !QFileInfo::exists(lockPath);
    const int lock = LockMessengerFolder(root, 3000);
    const bool lockThere = QFileInfo::exists(lockPath);
    if (lockIsNew && lockThere)
        changes.made(lockPath);
    if (lock < 0) {
        error = lockThere ? QStringLiteral("%1 is in use by a messenger online from it; stop that first").arg(root)
                          : QStringLiteral("cannot create %1").arg(lockPath);
        changes.undo();
        return false;
    }
    bool ok = changes.makeFolder(games, error) && changes.makeFolder(chars, error)
              && writeFile(changes, root + QStringLiteral("/hollyfro.exe"),
                           QByteArray("Hollyfrost messenger stand-in\n"), error)
              && writeFile(changes, root + QStringLiteral("/HFparms.cfg"), parameters, error)
              && writeFile(changes, root + u'/' + ContactListFile, EncodeContactList(setup.buddies), error)
              && writeGameFiles(changes, setup, games, error)
              && copyDistribution(changes, distributionFolder, games, error)
              && (characterLibrary.isEmpty() || !QFileInfo::exists(characterLibrary)
                  || copyTree(changes, characterLibrary, chars, error));
    if (ok && !RegWriteText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Main"),
                            QStringLiteral("exedir"), root + QStringLiteral("/hollyfro.exe"))) {
        error = QStringLiteral("cannot write the registry %1").arg(RegistryFilePath());
        ok = false;
    }
    if (ok)
        changes.keep();
    else
        changes.undo();
    ::close(lock);
    return ok;
}
