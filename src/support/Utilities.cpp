#include "Utilities.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#ifndef HF_DEFAULT_WINDOWS_DIR
#define HF_DEFAULT_WINDOWS_DIR ""
#endif
#ifndef HF_INSTALLED_DATA_FROM_BIN
#define HF_INSTALLED_DATA_FROM_BIN "../share/hollyfrost"
#endif

namespace {

bool isSeparator(QChar c) { return c == u'\\' || c == u'/'; }

} // namespace

QString WithTrailingBackslash(const QString &path)
{
    if (path.isEmpty() || path.endsWith(u'\\'))
        return path;
    return path + u'\\';
}

QString InstalledDataFolder()
{
    if (!QCoreApplication::instance())
        return QString();
    const QDir data(QCoreApplication::applicationDirPath() + QStringLiteral("/" HF_INSTALLED_DATA_FROM_BIN));
    return data.exists() ? data.canonicalPath() : QString();
}

QString WindowsFolder()
{
    QString folder = qEnvironmentVariable("WINDIR");
    if (folder.isEmpty()) {
        const QString installed = InstalledDataFolder();
        if (!installed.isEmpty())
            folder = installed + QStringLiteral("/Windows");
    }
    if (folder.isEmpty())
        folder = QStringLiteral(HF_DEFAULT_WINDOWS_DIR);
    if (folder.isEmpty())
        folder = QStringLiteral("c:\\windows");
    return WithTrailingBackslash(folder);
}

QString FolderOfPath(const QString &path)
{
    const qsizetype back = path.indexOf(u'\\');
    const qsizetype fwd = path.indexOf(u'/');
    const QChar separator = (back >= 0 && (fwd < 0 || fwd < back)) ? u'\\' : u'/';
    if (!path.contains(separator))
        return path;
    QString result = path;
    while (result.size() > 2 && result.back() != separator)
        result.chop(1);
    return result;
}

QString ProgramFilePath()
{
    return QCoreApplication::applicationFilePath();
}

QString ProgramFolder()
{
    const QString overridden = qEnvironmentVariable("HOLLYFROST_PROGRAM_FOLDER");
    if (!overridden.isEmpty())
        return isSeparator(overridden.back()) ? overridden : overridden + u'/';
    return FolderOfPath(ProgramFilePath());
}

QString NameOfPath(const QString &path)
{
    QString result = path;
    for (;;) {
        qsizetype p = result.indexOf(u'\\');
        if (p < 0)
            p = result.indexOf(u'/');
        if (p < 0)
            return result;
        result = result.mid(p + 1, 255);
    }
}

QString ExtensionOfPath(const QString &path)
{
    const QString name = NameOfPath(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1, 255);
}

QString WithoutExtension(const QString &text)
{
    const qsizetype dot = text.lastIndexOf(u'.');
    return dot < 0 ? QString() : text.left(dot);
}

QString NativePath(const QString &gamePath)
{
    if (gamePath.isEmpty())
        return gamePath;
    QString path = gamePath;
    path.replace(u'\\', u'/');
    if (QFileInfo::exists(path))
        return path;

    const bool absolute = path.startsWith(u'/');
    const QStringList parts = path.split(u'/', Qt::KeepEmptyParts);
    QString built = absolute ? QStringLiteral("/") : QString();
    bool matching = true;   // once a component is missing, the rest is kept as written
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts[i];
        if (part.isEmpty()) {
            if (i == parts.size() - 1 && !built.endsWith(u'/'))
                built += u'/';
            continue;
        }
        QString candidate = part;
        if (matching && part != QLatin1String(".") && part != QLatin1String("..")) {
            const QString parent = built.isEmpty() ? QStringLiteral(".") : built;
            if (!QFileInfo::exists(built + part)) {
                const QStringList entries =
                    QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
                bool found = false;
                for (const QString &entry : entries) {
                    if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                        candidate = entry;
                        found = true;
                        break;
                    }
                }
                matching = found;
            }
        }
        built += candidate;
        if (i < parts.size() - 1)
            built += u'/';
    }
    return built;
}

bool FileExists(const QString &gamePath)
{
    if (gamePath.isEmpty())
        return false;
    return QFileInfo(NativePath(gamePath)).isFile();
}

bool FolderExists(const QString &gamePath)
{
    if (gamePath.isEmpty())
        return false;
    return QFileInfo(NativePath(gamePath)).isDir();
}

bool DeleteGameFile(const QString &gamePath)
{
    return FileExists(gamePath) && QFile::remove(NativePath(gamePath));
}

QByteArray ShiftText(const QByteArray &text, quint8 key, ShiftDirection direction)
{
    const int start = (key & 7) + 2;
    int shift = start;
    QByteArray result = text;
    for (qsizetype i = 0; i < result.size(); ++i) {
        const auto byte = static_cast<quint8>(result[i]);
        const int moved = direction == ShiftDirection::Up ? byte + shift : byte - shift;
        result[i] = static_cast<char>(static_cast<quint8>(moved & 0xFF));
        if (--shift == 0)
            shift = start;
    }
    return result;
}

QString ShiftText(const QString &text, quint8 key, ShiftDirection direction)
{
    return FromBytes(ShiftText(ToBytes(text), key, direction));
}

bool CopyWholeFile(const QString &destination, const QString &source)
{
    if (destination == source || !FileExists(source))
        return false;
    QFile in(NativePath(source));
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QFile out(NativePath(destination));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    constexpr qint64 blockSize = 16001;
    for (;;) {
        const QByteArray block = in.read(blockSize);
        if (block.isEmpty())
            break;
        if (out.write(block) != block.size())
            return false;
    }
    return in.error() == QFileDevice::NoError;
}

Random::Random() : engine(QRandomGenerator::system()->generate())
{
}

int Random::below(int n)
{
    if (n <= 0)
        return 0;
    return std::uniform_int_distribution<int>(0, n - 1)(engine);
}

qint32 ToInteger(const QString &text, bool *ok)
{
    if (ok)
        *ok = false;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    }
    if (i >= n)
        return 0;
    qint64 value = 0;
    for (; i < n; ++i) {
        const int digit = QChar(text[i]).isDigit() && text[i].unicode() < 128
                              ? text[i].unicode() - '0'
                              : (base == 16 && text[i].toLower() >= u'a' && text[i].toLower() <= u'f'
                                     ? text[i].toLower().unicode() - 'a' + 10
                                     : -1);
        if (digit < 0 || digit >= base)
            return 0;
        value = value * base + digit;
        if (value > (qint64(1) << 32))
            return 0;
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return 0;
    if (ok)
        *ok = true;
    return static_cast<qint32>(value);
}

bool IsInteger(const QString &text)
{
    if (text.isEmpty())
        return false;
    bool ok = false;
    ToInteger(text, &ok);
    return ok;
}

bool IsDigits(const QString &text, qsizetype maxLength)
{
    if (text.isEmpty() || text.size() > maxLength)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QString ReplaceText(const QString &source, const QString &find, const QString &replacement,
                    bool allOccurrences)
{
    static const QString marker = QStringLiteral("~~~~~");
    if (find.isEmpty())
        return source;
    QString result = source;
    // Phase 1: every match (compared in lower case) becomes the marker. The search goes
    // on after the marker just placed, so a text to find that occurs within the marker
    // cannot make it loop.
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = result.indexOf(find, from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        result.replace(at, find.size(), marker);
        from = at + marker.size();
        if (!allOccurrences)
            break;
    }
    // Phase 2: markers (also ones that were in the source) become the replacement.
    from = 0;
    for (;;) {
        const qsizetype at = result.indexOf(marker, from);
        if (at < 0)
            break;
        result.replace(at, marker.size(), replacement);
        from = at + replacement.size();
        if (!allOccurrences)
            break;
    }
    return result;
}

QString RegistryFilePath()
{
    const QString fromEnv = qEnvironmentVariable("HOLLYFROST_REGISTRY");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/hollyfrost/registry.ini");
}

namespace {
QString registryKey(const QString &keyPath, const QString &valueName)
{
    QString key = keyPath;
    key.replace(u'\\', u'/');
    while (key.endsWith(u'/'))
        key.chop(1);
    return key + u'/' + valueName;
}
} // namespace

bool RegWriteText(RegistryRoot, const QString &keyPath, const QString &valueName, const QString &text)
{
    const QString file = RegistryFilePath();
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(registryKey(keyPath, valueName), text);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString RegReadText(RegistryRoot, const QString &keyPath, const QString &valueName)
{
    const QString file = RegistryFilePath();
    if (!QFileInfo::exists(file))
        return QString();
    QSettings settings(file, QSettings::IniFormat);
    return settings.value(registryKey(keyPath, valueName)).toString();
}


namespace {

// Characters of the bytes 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

QString FromBytes(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        *out++ = byte >= 0x80 && byte < 0xA0 ? QChar(Cp1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

QByteArray ToBytes(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        char byte = '?';
        if (u < 0x80 || (u >= 0xA0 && u < 0x100)) {
            byte = static_cast<char>(u);
        } else {
            for (int i = 0; i < 32; ++i)
                if (Cp1252High[i] == u)
                    byte = static_cast<char>(0x80 + i);
        }
        *out++ = byte;
    }
    return bytes;
}
