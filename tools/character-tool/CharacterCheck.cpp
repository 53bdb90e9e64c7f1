#include "CharacterTool.h"

#include "Agent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <zip.h>

#include <cstdio>

namespace charactertool {

using agent::detail::CharacterProblem;

QStringList gameAnimations()
{
    return {"greet", "wave", "pleased", "cheer", "congratulate", "gestureleft", "lookleft", "lookright",
            "lookup", "lookdown", "blink", "alert", "surprised", "idle_1", "moveup", "hide",
            "postcall", "startgate", "rest"};
}

namespace {

QString lineOf(const QString &path, const CharacterProblem &problem)
{
    QString place;
    if (problem.line > 0)
        place += QStringLiteral("character.json line %1, column %2: ").arg(problem.line).arg(problem.column);
    if (!problem.animation.isEmpty())
        place += problem.frame > 0 ? QStringLiteral("animation \"%1\", frame %2: ").arg(problem.animation).arg(problem.frame)
                                   : QStringLiteral("animation \"%1\": ").arg(problem.animation);
    return QStringLiteral("%1: %2%3").arg(path, place, problem.what);
}

// The archive written at path from the folder's entries; empty on success, else why not.
QString writeArchive(const QString &path, const QDir &folder, const QStringList &entries)
{
    QList<QByteArray> contents;   // libzip reads them when the archive is closed
    for (const QString &entry : entries) {
        QFile file(folder.filePath(entry));
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read %1").arg(file.fileName());
        contents << file.readAll();
    }
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive)
        return QStringLiteral("cannot create %1 (libzip error %2)").arg(path).arg(code);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArray &bytes = contents[i];
        zip_source_t *source = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        const zip_int64_t index = source ? zip_file_add(archive, entries[i].toUtf8().constData(), source,
                                                        ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE)
                                         : -1;
        if (index < 0) {
            if (source)
                zip_source_free(source);
            const QString why = QStringLiteral("cannot add %1: %2").arg(entries[i], QString::fromUtf8(zip_strerror(archive)));
            zip_discard(archive);
            return why;
        }
        // The pictures are compressed already; only the JSON gains by deflating.
        zip_set_file_compression(archive, zip_uint64_t(index), i == 0 ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) {
        const QString why = QStringLiteral("cannot write %1: %2").arg(path, QString::fromUtf8(zip_strerror(archive)));
        zip_discard(archive);
        return why;
    }
    return {};
}

} // namespace

Checked checkCharacter(const QString &path)
{
    QVector<CharacterProblem> problems;
    Checked checked{agent::detail::inspectCharacter(path, problems), {}};
    for (const CharacterProblem &problem : std::as_const(problems))
        checked.problems << lineOf(path, problem);
    // Without any animation read (JSON that does not parse, a file that does not open),
    // what the character lacks cannot be told.
    for (const QString &name : gameAnimations())
        if (!checked.data.animations.isEmpty() && !checked.data.find(name))
            checked.problems << QStringLiteral("%1: the character lacks the animation \"%2\", which the game plays")
                                    .arg(path, name);
    return checked;
}

QStringList packCharacter(const QString &folder, const QString &out, QString *written)
{
    if (!QFileInfo(folder).isDir())
        return {QStringLiteral("%1: not a folder").arg(folder)};
    const Checked checked = checkCharacter(folder);
    if (!checked.problems.isEmpty())
        return checked.problems;

    QString name = checked.data.name;
    if (name.isEmpty() || name.contains(u'/') || name.startsWith(u'.'))
        name = QFileInfo(QDir(folder).absolutePath()).fileName();
    const QString target = out.isEmpty() ? QDir::current().filePath(name + QStringLiteral(".acs")) : out;
    QStringList entries = {QStringLiteral("character.json")};
    QSet<QString> seen(entries.begin(), entries.end());
    for (const QStringList &list : {checked.data.imageEntries, checked.data.soundEntries})
        for (const QString &entry : list)
            if (!seen.contains(entry)) {
                seen.insert(entry);
                entries << entry;
            }

    const QString part = target + QStringLiteral(".part");
    QString why = writeArchive(part, QDir(folder), entries);
    if (why.isEmpty()) {
        try {
            agent::detail::loadCharacterFile(part);
        } catch (const agent::AgentError &error) {
            why = QString::fromUtf8(error.what());
        }
    }
    if (why.isEmpty() && std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0)
        why = QStringLiteral("cannot move %1 into place").arg(target);
    if (!why.isEmpty()) {
        QFile::remove(part);
        return {QStringLiteral("%1: %2").arg(folder, why)};
    }
    *written = target;
    return {};
}

} // namespace charactertool
