// Phrase lookup: which file is read, which lines count, how "##" is filled in, and what
// happens when the tables are missing, locked or broken.
#include "Phrases.h"

#include "records.h"
#include "Utilities.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class TestPhrases : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *folder = nullptr;

    QString path(const QString &relative) const { return folder->filePath(relative); }

    void write(const QString &relative, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QByteArray read(const QString &relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Every text that |code| can yield, gathered over many lookups.
    static QSet<QString> outcomes(const QString &code, int lookups = 300)
    {
        QSet<QString> seen;
        for (int i = 0; i < lookups; ++i)
            seen.insert(LookupPhrase(code));
        return seen;
    }

private slots:
    void init()
    {
        folder = new QTemporaryDir;
        QVERIFY(folder->isValid());
        qputenv("HOLLYFROST_PROGRAM_FOLDER", folder->path().toLocal8Bit());
        Records::Options = Records::OptionsRecord{};
    }

    void cleanup()
    {
        delete folder;
        folder = nullptr;
    }

    void onlyTheFirstThreeMatchingLinesCount()
    {
        write("stdtalk.lst",
              "### header line\r\n"
              "ab1 one\r\nxy1 other\r\nab1 two\r\nAB1 upper case is another code\r\n"
              "ab1 three\r\nab1 four\r\nab1 five\r\n");
        QCOMPARE(outcomes("ab1"), (QSet<QString>{"one", "two", "three"}));
        // A longer code is cut to three characters; the code is case-sensitive.
        QCOMPARE(outcomes("ab1xyz"), (QSet<QString>{"one", "two", "three"}));
        QCOMPARE(LookupPhrase("AB1"), QString("upper case is another code"));
    }

    void textIsCharactersFiveTo304WithAnySeparator()
    {
        const QByteArray longText(320, 'x');
        write("stdtalk.lst", "lg1:" + longText + "\r\nsp1\tkeeps  inner  blanks \nlf1 unix line end\n"
                             "cr1 trailing returns\r\r\r\ncr2 an inner\rreturn\r\n"
                             "cr3 " + QByteArray(298, 'y') + "\r\r\r\r\r\ncr4 " + QByteArray(298, 'z') + "\r\r\rz\n"
                             "ln1 " + QByteArray(40000, 'w') + "\nln2 after a long line");
        QCOMPARE(LookupPhrase("lg1"), QString(300, u'x'));
        QCOMPARE(LookupPhrase("sp1"), QString("keeps  inner  blanks "));
        QCOMPARE(LookupPhrase("lf1"), QString("unix line end"));
        // Carriage returns at a line's end are no text, inside it they are, also where the
        // line is longer than the text taken.
        QCOMPARE(LookupPhrase("cr1"), QString("trailing returns"));
        QCOMPARE(LookupPhrase("cr2"), QString("an inner\rreturn"));
        QCOMPARE(LookupPhrase("cr3"), QString(298, u'y'));
        QCOMPARE(LookupPhrase("cr4"), QString(298, u'z') + "\r\r");
        QCOMPARE(LookupPhrase("ln1"), QString(300, u'w'));
        QCOMPARE(LookupPhrase("ln2"), QString("after a long line"));
    }

    void shortMatchingLineGivesEmptyTextNotTheBackup()
    {
        write("stdtalk.lst", "sh1\r\nsh2 \r\n");
        write("stdtalk.bak", "sh1 from the backup\r\nsh2 from the backup\r\n");
        QCOMPARE(LookupPhrase("sh1"), QString());
        QCOMPARE(LookupPhrase("sh2"), QString());
    }

    void unknownOrShortCodesGiveEmpty()
    {
        write("stdtalk.lst", "ab1 text\r\nab\r\n\r\n");
        write("stdtalk.bak", "ab1 text\r\n");
        QCOMPARE(LookupPhrase("zz9"), QString());
        QCOMPARE(LookupPhrase("ab"), QString());
        QCOMPARE(LookupPhrase(QString()), QString());
        QCOMPARE(LookupBackupPhrase("ab"), QString());
    }

    void codeOnlyInBackupIsTakenFromThere()
    {
        write("stdtalk.lst", "ab1 main\r\n");
        write("stdtalk.bak", "ab1 backup\r\nnw1 only in the backup\r\n");
        QCOMPARE(LookupPhrase("ab1"), QString("main"));
        QCOMPARE(LookupPhrase("nw1"), QString("only in the backup"));
        QCOMPARE(LookupBackupPhrase("ab1"), QString("backup"));
    }

    void missingMainIsRestoredFromBackup()
    {
        const QByteArray table = "### table\r\nab1 restored\r\nab1 twice\r\n\xe4\xf6\xfc\r\n";
        write("stdtalk.bak", table);
        QVERIFY(!QFile::exists(path("stdtalk.lst")));
        QVERIFY(outcomes("ab1", 100) == (QSet<QString>{"restored", "twice"}));
        QCOMPARE(read("stdtalk.lst"), table);
    }

    void nothingToReadGivesEmptyAndCreatesNothing()
    {
        QCOMPARE(LookupPhrase("ab1"), QString());
        QCOMPARE(LookupBackupPhrase("ab1"), QString());
        QVERIFY(QDir(folder->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void languageSuffixChoosesTheFile()
    {
        write("stdtalk.lst", "ab1 default\r\n");
        write("Languages/stdtalk-xx.lst", "ab1 language\r\n");
        const QString programFolder = ProgramFolder();

        Records::Options.LanguageSuffix = "-xx";
        QCOMPARE(PhraseFilePath("lst"), programFolder + "Languages\\stdtalk-xx.lst");
        QCOMPARE(PhraseFilePath("bak"), programFolder + "Languages\\stdtalk-xx.bak");
        QCOMPARE(LookupPhrase("ab1"), QString("language"));

        Records::Options.LanguageSuffix = "xx";
        QCOMPARE(PhraseFilePath("lst"), programFolder + "stdtalk.lst");
        QCOMPARE(LookupPhrase("ab1"), QString("default"));

        // The language's backup restores the language's table, not the default one.
        Records::Options.LanguageSuffix = "-yy";
        write("Languages/stdtalk-yy.bak", "ab1 restored language\r\n");
        QCOMPARE(LookupPhrase("ab1"), QString("restored language"));
        QCOMPARE(read("Languages/stdtalk-yy.lst"), QByteArray("ab1 restored language\r\n"));
    }

    // A phrase the language's tables lack is said in English, phrase by phrase: the
    // language's own lines and backup come first, then the English table, then its backup.
    void aPhraseMissingInALanguageComesFromEnglish()
    {
        write("stdtalk.lst", "ab1 default\r\nen1 only in English, ##\r\n");
        write("stdtalk.bak", "ab1 default backup\r\neb1 only in the English backup\r\n");
        write("Languages/stdtalk-xx.lst", "ab1 language\r\n");
        write("Languages/stdtalk-xx.bak", "lb1 language backup\r\nen1 language backup\r\n");
        Records::Options.LanguageSuffix = "-xx";
        Records::Options.DisplayName = "Robin";
        QCOMPARE(LookupPhrase("ab1"), QString("language"));
        QCOMPARE(LookupPhrase("lb1"), QString("language backup"));
        QCOMPARE(LookupPhrase("en1"), QString("language backup"));
        QVERIFY(QFile::remove(path("Languages/stdtalk-xx.bak")));
        QCOMPARE(LookupPhrase("en1"), QString("only in English, Robin"));
        QCOMPARE(LookupPhrase("eb1"), QString("only in the English backup"));
        QCOMPARE(LookupPhrase("zz1"), QString());
    }

    void unopenableMainFallsBackToTheDefaultTable()
    {
        write("stdtalk.lst", "ab1 default\r\n");
        write("Languages/stdtalk-xx.lst", "ab1 language\r\n");
        write("Languages/stdtalk-xx.bak", "ab1 language backup\r\nbk1 backup only\r\n");
        Records::Options.LanguageSuffix = "-xx";

        // Another program holds the language's table beyond the retries.
        const int fd = ::open(QFile::encodeName(path("Languages/stdtalk-xx.lst")).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX), 0);
        QCOMPARE(LookupPhrase("ab1"), QString("default"));
        QCOMPARE(LookupPhrase("bk1"), QString("backup only"));
        ::close(fd);
        QCOMPARE(LookupPhrase("ab1"), QString("language"));

        // A folder in the table's place is no table (and must not hang the reader).
        Records::Options.LanguageSuffix = "-zz";
        QVERIFY(QDir().mkpath(path("Languages/stdtalk-zz.lst")));
        QCOMPARE(LookupPhrase("ab1"), QString("default"));

        // Neither the table nor the default opens: empty, the backup is not consulted.
        Records::Options.LanguageSuffix = "-xx";
        QVERIFY(QFile::remove(path("stdtalk.lst")));
        const int again = ::open(QFile::encodeName(path("Languages/stdtalk-xx.lst")).constData(), O_RDONLY);
        QVERIFY(again >= 0);
        QCOMPARE(::flock(again, LOCK_EX), 0);
        QCOMPARE(LookupPhrase("ab1"), QString());
        ::close(again);
    }

    void playerNameFillsEveryPlaceholder()
    {
        write("stdtalk.lst", "we1 Hello ##, good luck ##!\r\n");

        Records::Options.DisplayName = QString();
        Records::Options.SpokenName = "Kay";
        QCOMPARE(PlayerSpeechName(), QString());
        QCOMPARE(LookupPhrase("we1"), QString("Hello , good luck !"));

        Records::Options.DisplayName = "Kay";
        Records::Options.SpokenName = "Kay";
        QCOMPARE(LookupPhrase("we1"), QString("Hello Kay, good luck Kay!"));

        Records::Options.SpokenName = QString();
        QCOMPARE(PlayerSpeechName(), QString("Kay"));

        Records::Options.DisplayName = "Xiu";
        Records::Options.SpokenName = "Shoo";
        QCOMPARE(PlayerSpeechName(), QString("\\map=\"Shoo\"=\"Xiu\"\\"));
        QCOMPARE(LookupPhrase("we1"),
                 QString("Hello \\map=\"Shoo\"=\"Xiu\"\\, good luck \\map=\"Shoo\"=\"Xiu\"\\!"));

        // Case matters in the comparison; quotes and backslashes cannot break the tag.
        Records::Options.DisplayName = "kay";
        Records::Options.SpokenName = "Kay";
        QCOMPARE(PlayerSpeechName(), QString("\\map=\"Kay\"=\"kay\"\\"));
        Records::Options.DisplayName = "Al \"the\\ Ace\"";
        Records::Options.SpokenName = "Al %1 Ace";
        QCOMPARE(PlayerSpeechName(), QString("\\map=\"Al %1 Ace\"=\"Al the Ace\"\\"));
    }
};

QTEST_MAIN(TestPhrases)
#include "tst_phrases.moc"
