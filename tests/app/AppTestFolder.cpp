#include "AppTestFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

AppTestFolder::AppTestFolder(const QStringList &characterFiles)
{
    QDir().mkpath(characters());
    QDir().mkpath(program() + QStringLiteral("help"));
    for (const QString &name : characterFiles)
        addCharacter(name);
    qputenv("HOLLYFROST_PROGRAM_FOLDER", program().toLocal8Bit());
    qputenv("WINDIR", (root.path() + QStringLiteral("/Windows")).toLocal8Bit());
    qputenv("HOLLYFROST_REGISTRY", (root.path() + QStringLiteral("/registry.ini")).toLocal8Bit());
    // The phrase table that describes game types and difficulties.
    QByteArray phrases;
    for (int i = 0; i < 6; ++i)
        phrases += "Gt" + QByteArray::number(i) + " game type " + QByteArray::number(i) + "\r\n";
    for (int i = 0; i < 3; ++i)
        phrases += "dl" + QByteArray::number(i) + " difficulty " + QByteArray::number(i) + "\r\n";
    writeFile(QStringLiteral("stdtalk.lst"), phrases);
    writeFile(QStringLiteral("stdtalk.bak"), phrases);
    const QString sourceHelp = qEnvironmentVariable("HF_SOURCE_DIR") + QStringLiteral("/data/help/index.html");
    QFile::copy(sourceHelp, program() + QStringLiteral("help/index.html"));
}

QString AppTestFolder::program() const
{
    return root.path() + QStringLiteral("/Games/");
}

QString AppTestFolder::characters() const
{
    return root.path() + QStringLiteral("/Windows/msagent/chars/");
}

bool AppTestFolder::writeFile(const QString &relativePath, const QByteArray &bytes) const
{
    QFile file(program() + relativePath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void AppTestFolder::addCharacter(const QString &name) const
{
    QFile file(characters() + name);
    if (file.open(QIODevice::WriteOnly))
        file.write("not a real character");
}

void AppTestFolder::removeCharacter(const QString &name) const
{
    QFile::remove(characters() + name);
}
