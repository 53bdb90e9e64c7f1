// The phrase tables and the word list the game ships: every code the game looks up is
// there in every language, captions are plain texts, the files are 8-bit Latin-1 with
// CR LF line ends, and the word list has words for every difficulty.
#include "Phrases.h"

#include "records.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList spokenCodes = {"we1", "rs1", "rs2", "wn1", "rt1", "rt2", "rw1", "rp1", "rl1", "rc1"};
// Spoken with " " + a name appended: a "|" alternative other than the last would lose the name.
const QStringList nameFollowedCodes = {"rs1", "rs2", "wn1", "rt2", "rw1", "rp1", "rl1"};
const QStringList captionCodes = {"IV1", "IV2", "Gt0", "Gt1", "Gt2", "Gt3", "Gt4", "Gt5",
                                  "dl0", "dl1", "dl2", "ql1", "ql2", "ql3", "ql4", "ql5",
                                  "qa1", "qa2", "qb1", "qc1", "qd1", "qe1", "qe2",
                                  "mt1", "mt2", "mt3", "rx0", "rx1", "rx2", "rx3", "rx4", "rx5"};

QString dataFolder()
{
    return qEnvironmentVariable("HF_SOURCE_DIR") + "/data/";
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The lines of a file whose every line ends in CR LF; empty, with a fault, otherwise.
QList<QByteArray> crlfLines(const QByteArray &bytes, QString &fault)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf("\r\n", start);
        const QByteArray line = bytes.mid(start, end < 0 ? -1 : end - start);
        if (end < 0 || line.contains('\r') || line.contains('\n')) {
            fault = QString("line %1 does not end in CR LF").arg(lines.size() + 1);
            return {};
        }
        lines.append(line);
        start = end + 2;
    }
    return lines;
}

// 8-bit Latin-1 text: no control characters, nothing that reads as a UTF-8 sequence.
QString latin1Fault(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = quint8(bytes[i]);
        if (c < 0x20 && c != '\r' && c != '\n')
            return QString("control byte %1 at %2").arg(c).arg(i);
        if (c >= 0x7f && c < 0xa0)
            return QString("byte %1 at %2 is no Latin-1 letter").arg(c).arg(i);
        if (c >= 0xc2 && c <= 0xf4 && i + 1 < bytes.size() && (quint8(bytes[i + 1]) & 0xc0) == 0x80)
            return QString("UTF-8 sequence at %1").arg(i);
    }
    return QString();
}

} // namespace

class TestPhraseData : public QObject
{
    Q_OBJECT

private slots:
    void tables_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("English") << "stdtalk";
        QTest::newRow("German") << "Languages/stdtalk-de";
        QTest::newRow("French") << "Languages/stdtalk-fr";
    }

    void tables()
    {
        QFETCH(QString, table);
        const QByteArray bytes = readWhole(dataFolder() + table + ".lst");
        QVERIFY2(!bytes.isEmpty(), qPrintable(table + ".lst is missing or empty"));
        QVERIFY2(bytes == readWhole(dataFolder() + table + ".bak"), "the backup differs from the table");
        const QString encoding = latin1Fault(bytes);
        QVERIFY2(encoding.isEmpty(), qPrintable(encoding));
        QString fault;
        const QList<QByteArray> lines = crlfLines(bytes, fault);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));

        QMap<QString, QStringList> texts;
        for (const QByteArray &raw : lines) {
            const QString line = QString::fromLatin1(raw);
            const QString code = line.left(3);
            if (!spokenCodes.contains(code) && !captionCodes.contains(code)) {
                // Comments and blank lines: they must not look like a phrase line.
                QVERIFY2(line.isEmpty() || line.startsWith('#'), qPrintable("stray line: " + line));
                continue;
            }
            QVERIFY2(line.size() > 4 && line[3] == u' ', qPrintable("malformed: " + line));
            QString text = line.mid(4);
            QVERIFY2(text.size() <= 300, qPrintable(line));
            // A refusal reason follows "Reason:" directly, so it brings its own blank.
            if (code.startsWith("rx")) {
                QVERIFY2(text.startsWith(' '), qPrintable(line));
                text.remove(0, 1);
            }
            QVERIFY2(!text.isEmpty() && text == text.trimmed(), qPrintable(line));
            // Texts travel inside "&&"-separated game messages.
            QVERIFY2(!text.contains("&&"), qPrintable(line));
            QVERIFY2(!text.contains("~~~~~"), qPrintable(line));
            texts[code].append(text);
        }

        // Every code of the English table has a text here, so that no language leans on
        // the English fallback for a phrase.
        QString missing;
        for (const QByteArray &raw : crlfLines(readWhole(dataFolder() + "stdtalk.lst"), fault)) {
            const QString code = QString::fromLatin1(raw.left(3));
            if (!raw.startsWith('#') && !raw.isEmpty() && !texts.contains(code) && !missing.contains(code))
                missing += ' ' + code;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(table + " lacks" + missing));
        for (const QString &code : spokenCodes + captionCodes) {
            QVERIFY2(texts.contains(code), qPrintable(table + " lacks " + code));
            QVERIFY2(texts[code].size() <= 3, qPrintable(code + ": lines past the third are never used"));
        }
        for (const QString &code : captionCodes) {
            QVERIFY2(texts[code].size() == 1, qPrintable(code + " is a caption: one line"));
            QVERIFY2(!texts[code].front().contains('|'), qPrintable(code + " is a caption: no '|'"));
            QVERIFY2(!texts[code].front().contains("##"), qPrintable(code));
        }
        int linesWithAlternatives = 0;
        for (const QString &code : spokenCodes) {
            QVERIFY2(texts[code].size() >= 2, qPrintable(code + ": give the commentator a choice"));
            for (const QString &text : texts[code]) {
                const QStringList alternatives = text.split('|');
                for (const QString &alternative : alternatives)
                    QVERIFY2(!alternative.trimmed().isEmpty(), qPrintable(code + ": empty alternative"));
                if (alternatives.size() > 1) {
                    ++linesWithAlternatives;
                    QVERIFY2(!nameFollowedCodes.contains(code), qPrintable(code + " is followed by a name"));
                }
            }
        }
        QVERIFY(linesWithAlternatives >= 3);
        QVERIFY(texts["we1"].join(' ').contains("##"));
        bool product = false;
        for (const QString &code : spokenCodes)
            product = product || texts[code].join(' ').contains("Hollyfrost");
        QVERIFY2(product, "the spoken lines never name the game");
    }

    // The shipped English backup alone is enough for every code to be found, and each
    // other language's backup answers every code in its own words.
    void lookupThroughTheShippedTables()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        qputenv("HOLLYFROST_PROGRAM_FOLDER", folder.path().toLocal8Bit());
        QVERIFY(QFile::copy(dataFolder() + "stdtalk.bak", folder.filePath("stdtalk.bak")));
        QVERIFY(QDir(folder.path()).mkdir("Languages"));
        const QStringList suffixes = {"-de", "-fr"};
        for (const QString &suffix : suffixes) {
            const QString table = "Languages/stdtalk" + suffix;
            QVERIFY(QFile::copy(dataFolder() + table + ".bak", folder.filePath(table + ".bak")));
        }
        Records::Options = Records::OptionsRecord{};
        Records::Options.DisplayName = "Robin";

        for (const QString &code : spokenCodes + captionCodes) {
            Records::Options.LanguageSuffix = QString();
            const QString english = LookupPhrase(code);
            QVERIFY2(!english.isEmpty(), qPrintable(code));
            QVERIFY(!english.contains("##"));
            for (const QString &suffix : suffixes) {
                Records::Options.LanguageSuffix = suffix;
                QVERIFY2(!LookupPhrase(code).isEmpty(), qPrintable(suffix + code));
            }
        }
        QCOMPARE(readWhole(folder.filePath("stdtalk.lst")), readWhole(dataFolder() + "stdtalk.lst"));
        for (const QString &suffix : suffixes) {
            const QString table = "Languages/stdtalk" + suffix + ".lst";
            QCOMPARE(readWhole(folder.filePath(table)), readWhole(dataFolder() + table));
            // The captions are not the English ones.
            Records::Options.LanguageSuffix = suffix;
            const QString translated = LookupPhrase("ql3");
            Records::Options.LanguageSuffix = QString();
            QVERIFY2(translated != LookupPhrase("ql3"), qPrintable(suffix));
        }
    }

    void wordList()
    {
        const QByteArray bytes = readWhole(dataFolder() + "wlist.lst");
        QString fault;
        const QList<QByteArray> lines = crlfLines(bytes, fault);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        static const QRegularExpression word("^[a-z]{3,7}$");
        QMap<QString, int> seen;
        int easy = 0, moderate = 0, difficult = 0;
        for (const QByteArray &raw : lines) {
            const QString line = QString::fromLatin1(raw);
            // Every word, the last one included, is followed by exactly one space.
            QVERIFY2(line.endsWith(' ') && !line.contains("  ") && !line.startsWith(' '), qPrintable(line));
            const QStringList words = line.split(' ', Qt::SkipEmptyParts);
            QVERIFY2(words.size() >= 8 && words.size() <= 16, qPrintable(line));
            for (const QString &w : words) {
                QVERIFY2(word.match(w).hasMatch(), qPrintable(w));
                ++seen[w];
                easy += w.size() <= 4;
                moderate += w.size() >= 4 && w.size() <= 6;
                difficult += w.size() >= 4;
                // A word whose letters are all the same cannot be scrambled.
                QVERIFY2(w.count(w[0]) < w.size(), qPrintable(w));
            }
        }
        QVERIFY2(seen.size() >= 3000, qPrintable(QString::number(seen.size())));
        for (auto it = seen.cbegin(); it != seen.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key() + " is listed twice"));
        QVERIFY(easy >= 60);
        QVERIFY(moderate >= 100);
        QVERIFY(difficult >= 150);
    }
};

QTEST_MAIN(TestPhraseData)
#include "tst_phrases_data.moc"
