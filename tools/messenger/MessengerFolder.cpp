#include "MessengerFolder.h"

#include "kw_unit.h"
#include "records.h"
#include "scramble_keys.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSaveFile>

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

bool parseBuddy(const QString &text, BuddySetting &buddy)
{
    const QStringList parts = text.split(u':');
    if (parts.size() < 3 || parts.size() > 4)
        return false;
    buddy.uin = parts[0];
    buddy.name = parts[1];
    buddy.address = parts[2];
    buddy.checked = parts.size() == 3 || parts[3] != QLatin1String("unchecked");
    if (parts.size() == 4 && parts[3] != QLatin1String("unchecked"))
        return false;
    bool ok = false;
    parts[0].toInt(&ok);
    if (!ok || buddy.uin.size() > 12 || buddy.name.isEmpty())
        return false;
    if (!buddy.address.isEmpty() && QHostAddress(buddy.address).protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    return !buddy.name.contains(u'\t');
}

bool writeFile(const QString &path, const QByteArray &bytes, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool copyInto(const QString &source, const QString &target, QString &error)
{
    QFile::remove(target);
    if (!QFile::copy(source, target)) {
        error = QStringLiteral("cannot copy %1 to %2").arg(source, target);
        return false;
    }
    return true;
}

bool copyTree(const QString &source, const QString &target, QString &error)
{
    QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString destination = target + u'/' + QDir(source).relativeFilePath(file);
        if (!QDir().mkpath(QFileInfo(destination).absolutePath()) || !copyInto(file, destination, error))
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

bool writeGameFiles(const MessengerSetup &setup, const QString &games, QString &error)
{
    Records::OptionsRecord options;
    options.UserName = setup.name;
    options.UserUin = setup.uin;
    options.DisplayName = setup.displayName;
    options.SpokenName = setup.spokenName;
    options.UserCharacterFile = setup.characterFile;
    options.LanguageSuffix = setup.languageSuffix;
    QByteArray online, checked, addresses;
    for (const BuddySetting &buddy : setup.buddies) {
        // online.txt: name, UIN, two fields the game does not use, and a status field.
        online += ToBytes(buddy.name + u'\t' + buddy.uin + QStringLiteral("\tonline\t\t+")) + "\r\n";
        checked += Records::CheckedUserRecord{buddy.uin, static_cast<quint8>(buddy.checked ? 1 : 0)}.encode();
        if (!buddy.address.isEmpty())
            addresses += Records::UinAddressRecord{buddy.uin.toInt(), buddy.address}.encode();
    }
    return writeFile(games + QStringLiteral("/hollyfro.opt"), Records::EncodeOptions(options), error)
           && writeFile(games + QStringLiteral("/online.txt"), online, error)
           && writeFile(games + QStringLiteral("/checkedusr.lst"), checked, error)
           && writeFile(games + QStringLiteral("/UINIP.lst"), addresses, error);
}

// The game and the data it reads from its program folder, as the build leaves them.
bool copyDistribution(const QString &distribution, const QString &games, QString &error)
{
    const QDir source(distribution);
    const QStringList patterns = {QStringLiteral("hollyfrost-games"), QStringLiteral("*.acs"),
                                  QStringLiteral("*.mid"), QStringLiteral("*.jpg"), QStringLiteral("*.lst"),
                                  QStringLiteral("*.bak")};
    for (const QString &name : source.entryList(patterns, QDir::Files)) {
        if (!copyInto(source.filePath(name), games + u'/' + name, error))
            return false;
    }
    for (const QString &folder : {QStringLiteral("Languages"), QStringLiteral("help")}) {
        if (source.exists(folder) && !copyTree(source.filePath(folder), games + u'/' + folder, error))
            return false;
    }
    if (QFileInfo::exists(games + QStringLiteral("/hollyfrost-games")))
        QFile::setPermissions(games + QStringLiteral("/hollyfrost-games"),
                              QFile::permissions(source.filePath(QStringLiteral("hollyfrost-games"))));
    return true;
}

} // namespace

bool ParseInitArguments(const QStringList &arguments, MessengerSetup &setup, QString &error)
{
    bool haveName = false, haveUin = false;
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
            haveUin = ok;
        } else if (argument == QLatin1String("--display-name")) {
            setup.displayName = value;
        } else if (argument == QLatin1String("--spoken-name")) {
            setup.spokenName = value;
        } else if (argument == QLatin1String("--character")) {
            setup.characterFile = value;
        } else if (argument == QLatin1String("--language")) {
            setup.languageSuffix = value;
        } else if (argument == QLatin1String("--game-port")) {
            ok = parsePort(value, setup.gamePort);
        } else if (argument == QLatin1String("--messenger-port")) {
            ok = parsePort(value, setup.messengerPort);
        } else if (argument == QLatin1String("--buddy")) {
            BuddySetting buddy;
            ok = parseBuddy(value, buddy);
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
    if (setup.folder.isEmpty() || !haveName || !haveUin) {
        error = QStringLiteral("init needs a folder, --name and --uin");
        return false;
    }
    if (setup.name.isEmpty()) {
        error = QStringLiteral("the name must not be empty");
        return false;
    }
    return true;
}

bool CreateMessengerFolder(const MessengerSetup &setup, const QString &distributionFolder,
                           const QString &characterLibrary, QString &error)
{
    const QString root = QFileInfo(setup.folder).absoluteFilePath();
    const bool existed = QFileInfo::exists(root);
    if (existed && !QFileInfo(root).isDir()) {
        error = QStringLiteral("%1 exists and is not a folder").arg(root);
        return false;
    }
    const QString games = root + QStringLiteral("/Games");
    const QString chars = root + QStringLiteral("/Windows/msagent/chars");
    const QByteArray parameters = parameterFile(setup, error);
    bool ok = error.isEmpty() && QDir().mkpath(games) && QDir().mkpath(chars);
    if (ok && !error.isEmpty())
        ok = false;
    else if (!ok && error.isEmpty())
        error = QStringLiteral("cannot create %1").arg(games);
    ok = ok && writeFile(root + QStringLiteral("/hollyfro.exe"), QByteArray("Hollyfrost messenger stand-in\n"), error)
         && writeFile(root + QStringLiteral("/HFparms.cfg"), parameters, error)
         && writeGameFiles(setup, games, error)
         && copyDistribution(distributionFolder, games, error)
         && (characterLibrary.isEmpty() || !QFileInfo::exists(characterLibrary)
             || copyTree(characterLibrary, chars, error));
    if (ok && !RegWriteText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Main"),
                            QStringLiteral("exedir"), root + QStringLiteral("/hollyfro.exe"))) {
        error = QStringLiteral("cannot write the registry %1").arg(RegistryFilePath());
        ok = false;
    }
    if (!ok) {
        if (existed) {
            for (const QString &name : {QStringLiteral("hollyfro.exe"), QStringLiteral("HFparms.cfg")})
                QFile::remove(root + u'/' + name);
            QDir(games).removeRecursively();
            QDir(root + QStringLiteral("/Windows")).removeRecursively();
        } else {
            QDir(root).removeRecursively();
        }
    }
    return ok;
}
