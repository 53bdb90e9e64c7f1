// A private program folder and Windows folder for the main window's tests: character
// files, a phrase table and the help pages, and the registry in a temporary INI file.
#pragma once

#include <QStringList>
#include <QTemporaryDir>

class AppTestFolder
{
public:
    // Creates the folders and points HOLLYFROST_PROGRAM_FOLDER, WINDIR and
    // HOLLYFROST_REGISTRY at them.
    explicit AppTestFolder(const QStringList &characterFiles);
    QString program() const;     // native path, ends in "/"
    QString characters() const;  // native path of msagent/chars, ends in "/"
    bool writeFile(const QString &relativePath, const QByteArray &bytes) const;
    void addCharacter(const QString &name) const;
    void removeCharacter(const QString &name) const;

private:
    QTemporaryDir root;
};
