#include "MessengerDefaults.h"

#include "Utilities.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

#ifndef HF_DEFAULT_WINDOWS_DIR
#define HF_DEFAULT_WINDOWS_DIR ""
#endif

QString DefaultMessengerFolder()
{
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/hollyfrost/messenger");
}

QString LoginName()
{
    QString name;
    if (const passwd *entry = getpwuid(getuid()))
        name = QString::fromLocal8Bit(entry->pw_name);
    if (name.isEmpty())
        name = qEnvironmentVariable("USER");
    name.remove(u'\t');
    return name.isEmpty() ? QStringLiteral("Player") : name.left(20);
}

QString LocaleLanguageSuffix()
{
    QString locale;
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = qEnvironmentVariable(variable);
        if (!locale.isEmpty())
            break;
    }
    // language[_territory][.codeset][@modifier]
    const QString language = locale.section(u'_', 0, 0).section(u'.', 0, 0).section(u'@', 0, 0);
    if (language == QLatin1String("fr") || language == QLatin1String("de"))
        return u'-' + language;
    return QString();
}

void ApplyInitDefaults(MessengerSetup &setup, const QString &characterLibrary)
{
    if (!setup.languageGiven)
        setup.languageSuffix = LocaleLanguageSuffix();
    if (setup.folder.isEmpty())
        setup.folder = DefaultMessengerFolder();
    if (setup.name.isEmpty())
        setup.name = LoginName();
    if (setup.uin == 0)
        setup.uin = static_cast<qint32>(QRandomGenerator::global()->bounded(100000, 1000000));
    if (setup.characterFile.isEmpty()) {
        const QStringList characters =
            QDir(characterLibrary).entryList({QStringLiteral("*.acs")}, QDir::Files, QDir::Name);
        if (!characters.isEmpty()) {
            const QString chosen = characters.contains(QStringLiteral("Pip.acs")) ? QStringLiteral("Pip.acs")
                                                                                : characters.first();
            setup.characterFile = QDir(setup.folder).absoluteFilePath(QStringLiteral("Windows/msagent/chars/") + chosen);
        }
    }
}

QString DistributionFolder()
{
    const QString installed = InstalledDataFolder();
    return installed.isEmpty() ? QCoreApplication::applicationDirPath() : installed;
}

QString CharacterLibrary()
{
    const QString chosen = qEnvironmentVariable("HOLLYFROST_CHARACTER_LIBRARY");
    if (!chosen.isEmpty())
        return chosen;
    const QString installed = InstalledDataFolder();
    if (!installed.isEmpty())
        return installed + QStringLiteral("/Windows/msagent/chars");
    return QStringLiteral(HF_DEFAULT_WINDOWS_DIR) + QStringLiteral("/msagent/chars");
}
