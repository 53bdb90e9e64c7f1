#include "CharacterFiles.h"

#include "Utilities.h"

#include <QDir>
#include <QStringList>

#include <algorithm>

namespace {

// Only regular files: a FIFO or device named like a character file is not a character.
QStringList characterFiles()
{
    const QDir folder(NativePath(CharacterFolder()));
    return folder.entryList({QStringLiteral("*.acs")}, QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

QString CharacterFolder()
{
    return WindowsFolder() + QStringLiteral("MSAGENT\\CHARS\\");
}

QString DefaultCharacterFile()
{
    const QString fallback = CharacterFolder() + QStringLiteral("No Agent.acs");
    if (FileExists(fallback))
        return fallback;
    const QStringList files = characterFiles();
    return files.isEmpty() ? QString() : files.first();
}

int CountCharacterFiles()
{
    return static_cast<int>(characterFiles().size());
}

QString NthCharacterFile(int n)
{
    const QStringList files = characterFiles();
    if (files.isEmpty())
        return QString();
    return files.at(std::clamp<qsizetype>(n, 1, files.size()) - 1);
}

QString RandomCharacterFile(Random &random)
{
    const QStringList files = characterFiles();
    if (files.size() < 3)
        return QString();
    // Drawing until a name without "random" comes up is the same as drawing uniformly
    // among those names; doing the latter also ends when every name has "random" in it.
    QStringList candidates;
    for (const QString &name : files) {
        if (!name.toLower().contains(QLatin1String("random")))
            candidates << name;
    }
    return candidates.isEmpty() ? QString() : candidates.at(random.below(static_cast<int>(candidates.size())));
}
