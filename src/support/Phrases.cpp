#include "Phrases.h"

#include "DataFiles.h"
#include "records.h"
#include "Utilities.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <cstring>

namespace {

constexpr int CodeLength = 3;
constexpr int TextStart = 4;      // the text starts at the fifth character
constexpr int TextLength = 300;   // of which at most 300 characters are used
constexpr int MaxMatches = 3;     // only the first three lines of a code count

// Opens a phrase file for reading. Only a regular file opens: a folder, FIFO or device
// that carries the file's name counts as missing.
bool openPhraseFile(const QString &path, QFile &file)
{
    return OpenTextFile(path, QStringLiteral("R"), file);
}

// Reads the texts of the first lines whose first three characters are the code, then
// closes the file. The file is read in blocks and scanned in place: a line costs no
// allocation unless it matches, of a line only its first characters are kept, and a line
// whose first characters are not the code is skipped to its end at once.
QStringList readMatchingTexts(QFile &file, const QString &code)
{
    QStringList texts;
    const QByteArray codeBytes = ToBytes(code);
    if (FromBytes(codeBytes) != code) {   // no 8-bit text reads as this code
        file.close();
        return texts;
    }
    // Trailing carriage returns are cut before the code is compared: a code that holds
    // one can only be judged at the line's end.
    const bool judgedEarly = !codeBytes.contains('\r');
    constexpr qsizetype Kept = TextStart + TextLength;
    QByteArray line;               // the line's first Kept bytes
    bool onlyReturnsCut = true;    // every byte of the line past Kept is a carriage return
    bool skipping = false;         // the line is known not to match
    const auto endLine = [&] {
        if (!skipping) {
            if (onlyReturnsCut) {   // trailing carriage returns are not part of the text
                while (line.endsWith('\r'))
                    line.chop(1);
            }
            if (line.startsWith(codeBytes))
                texts.append(FromBytes(line.mid(TextStart, TextLength)));
        }
        line.truncate(0);
        onlyReturnsCut = true;
        skipping = false;
    };
    line.reserve(Kept);
    char block[16384];   // a read buffer's size or more: QFile reads straight into it
    qint64 got = 0;
    while (texts.size() < MaxMatches && (got = file.read(block, sizeof block)) > 0) {
        const char *at = block;
        const char *const end = block + got;
        while (at < end && texts.size() < MaxMatches) {
            const char *newline = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
            const char *const stop = newline ? newline : end;
            if (!skipping) {
                const qsizetype room = Kept - line.size();
                const qsizetype length = stop - at;
                line.append(at, qMin(room, length));
                for (const char *cut = at + room; cut < stop && onlyReturnsCut; ++cut)
                    onlyReturnsCut = *cut == '\r';
                skipping = judgedEarly && line.size() >= codeBytes.size() && !line.startsWith(codeBytes);
            }
            if (!newline)
                break;
            endLine();
            at = newline + 1;
        }
    }
    if (texts.size() < MaxMatches && !line.isEmpty())
        endLine();   // a last line without a line break
    file.close();
    return texts;
}

// The texts of the code in the file at |path|; none when it is missing or does not open.
QStringList textsIn(const QString &path, const QString &code)
{
    QFile file;
    if (!FileExists(path) || !openPhraseFile(path, file))
        return QStringList();
    return readMatchingTexts(file, code);
}

// One of the texts chosen at random, with "##" turned into the player's name. The
// choice comes from the system's random source, which the game keeps no state of.
QString finishPhrase(const QStringList &texts)
{
    if (texts.isEmpty())
        return QString();
    const QString &text = texts.size() == 1
        ? texts.front()
        : texts.at(QRandomGenerator::system()->bounded(int(texts.size())));
    return ReplaceText(text, QStringLiteral("##"), PlayerSpeechName(), true);
}

// A phrase code is its first three characters; a shorter code matches nothing (an empty
// code would otherwise match every empty line).
bool phraseCode(const QString &requested, QString &code)
{
    code = requested.left(CodeLength);
    return code.size() == CodeLength;
}

// A name placed inside the quotes of a speech map tag must not close the quotes or the
// tag early.
QString tagSafe(QString name)
{
    name.remove(u'"');
    name.remove(u'\\');
    return name;
}

} // namespace

QString PhraseFilePath(const QString &extension)
{
    const QString suffix = Records::Options.LanguageSuffix;
    if (!suffix.isEmpty() && suffix.front() == u'-')
        return ProgramFolder() + QStringLiteral("Languages\\stdtalk") + suffix + u'.' + extension;
    return ProgramFolder() + QStringLiteral("stdtalk.") + extension;
}

QString PhraseLanguage()
{
    const QString suffix = Records::Options.LanguageSuffix;
    return suffix.startsWith(u'-') ? suffix.mid(1) : QString();
}

QString LookupPhrase(const QString &requested)
{
    QString code;
    if (!phraseCode(requested, code))
        return QString();

    const QString mainPath = PhraseFilePath(QStringLiteral("lst"));
    QFile file;
    if (!openPhraseFile(mainPath, file)) {
        // A missing table is restored from its backup; a failed copy only means that the
        // default table below is read instead.
        const bool restored = !FileExists(mainPath)
                              && CopyWholeFile(mainPath, PhraseFilePath(QStringLiteral("bak")));
        if (!(restored && openPhraseFile(mainPath, file))
            && !openPhraseFile(ProgramFolder() + GameFile::Phrases, file))
            return QString();
    }

    QStringList texts = readMatchingTexts(file, code);
    if (texts.isEmpty())
        texts = textsIn(PhraseFilePath(QStringLiteral("bak")), code);
    // A phrase that another language's tables lack is said in English, the language
    // every code is written in first.
    if (texts.isEmpty() && PhraseFilePath(QStringLiteral("lst")) != ProgramFolder() + GameFile::Phrases) {
        texts = textsIn(ProgramFolder() + GameFile::Phrases, code);
        if (texts.isEmpty())
            texts = textsIn(ProgramFolder() + QStringLiteral("stdtalk.bak"), code);
    }
    return finishPhrase(texts);
}

QString LookupBackupPhrase(const QString &requested)
{
    QString code;
    if (!phraseCode(requested, code))
        return QString();
    return finishPhrase(textsIn(PhraseFilePath(QStringLiteral("bak")), code));
}

QString PlayerSpeechName()
{
    const QString shown = Records::Options.DisplayName;
    const QString spoken = Records::Options.SpokenName;
    if (!spoken.isEmpty() && !shown.isEmpty() && spoken != shown)
        return QStringLiteral("\\map=\"%1\"=\"%2\"\\").arg(tagSafe(spoken), tagSafe(shown));
    return shown;
}
