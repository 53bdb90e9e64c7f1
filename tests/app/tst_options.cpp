// Reading the messenger's options file into the program-wide options record.
#include "records.h"
#include "UserOptions.h"
#include "Utilities.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
// Counts the opens of a file (each try to read it), through inotify.
class OpenCounter
{
public:
    explicit OpenCounter(const QString &path) : fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        // inotify merges like events in a row: the closes between keep each open apart.
        if (fd >= 0 && ::inotify_add_watch(fd, QFile::encodeName(path).constData(), IN_OPEN | IN_CLOSE) < 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~OpenCounter()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool watching() const { return fd >= 0; }
    // The opens since the last call.
    int opens()
    {
        int count = 0;
        inotify_event events[64];   // an event on a watched file carries no name
        for (ssize_t got; (got = ::read(fd, events, sizeof events)) > 0;) {
            for (ssize_t i = 0; i < got / ssize_t(sizeof(inotify_event)); ++i)
                count += (events[i].mask & IN_OPEN) != 0;
        }
        return count;
    }

private:
    int fd;
};
} // namespace

class OptionsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    QString optionsPath() const { return m_folder.filePath(QStringLiteral("hollyfro.opt")); }

    void writeOptions(const QByteArray &bytes)
    {
        QFile file(optionsPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    static Records::OptionsRecord sample()
    {
        Records::OptionsRecord options;
        options.UserName = QStringLiteral("Maple Quill");
        options.UserCharacterFile = QStringLiteral("C:\\WINDOWS\\MSAGENT\\CHARS\\pip.acs");
        options.UserUin = 4718236;
        options.DisplayName = QStringLiteral("Maple the Swift");
        options.SpokenName = QStringLiteral("May pull");
        options.LanguageSuffix = QStringLiteral("fr");
        return options;
    }

    // Something other than the defaults, so a test sees whether LoadOptions reset it.
    static void dirtyRecord()
    {
        Records::Options.UserName = QStringLiteral("stale");
        Records::Options.UserUin = 99;
        Records::Options.LanguageSuffix = QStringLiteral("xx");
    }

    static void verifyDefaults()
    {
        QVERIFY(Records::Options.UserName.isEmpty());
        QVERIFY(Records::Options.UserCharacterFile.isEmpty());
        QCOMPARE(Records::Options.UserUin, 0);
        QVERIFY(Records::Options.DisplayName.isEmpty());
        QVERIFY(Records::Options.SpokenName.isEmpty());
        QVERIFY(Records::Options.LanguageSuffix.isEmpty());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        qputenv("HOLLYFROST_PROGRAM_FOLDER", m_folder.path().toLocal8Bit());
        QCOMPARE(NativePath(OptionsFilePath()), optionsPath());
    }

    void cleanup() { QFile::remove(optionsPath()); }

    void missingFileGivesDefaults()
    {
        dirtyRecord();
        QCoro::waitFor(LoadOptions());
        verifyDefaults();
    }

    void wholeFileIsUnscrambled()
    {
        writeOptions(Records::EncodeOptions(sample()));
        dirtyRecord();
        QCoro::waitFor(LoadOptions());
        const Records::OptionsRecord expected = sample();
        QCOMPARE(Records::Options.UserName, expected.UserName);
        QCOMPARE(Records::Options.UserCharacterFile, expected.UserCharacterFile);
        QCOMPARE(Records::Options.UserUin, expected.UserUin);
        QCOMPARE(Records::Options.DisplayName, expected.DisplayName);
        QCOMPARE(Records::Options.SpokenName, expected.SpokenName);
        QCOMPARE(Records::Options.LanguageSuffix, expected.LanguageSuffix);
    }

    // A file cut short fills only the fields it covers; the rest keep their defaults,
    // also when an earlier load had filled them.
    void shortFileFillsWhatItCovers()
    {
        const QByteArray whole = Records::EncodeOptions(sample());
        writeOptions(whole.left(Records::OptionsLayout::UserUin + 4));
        QCoro::waitFor(LoadOptions());
        QCOMPARE(Records::Options.UserName, sample().UserName);
        QCOMPARE(Records::Options.UserCharacterFile, sample().UserCharacterFile);
        QCOMPARE(Records::Options.UserUin, sample().UserUin);
        // The display name lies beyond the end: it takes the user's name.
        QCOMPARE(Records::Options.DisplayName, sample().UserName);
        QVERIFY(Records::Options.SpokenName.isEmpty());
        QVERIFY(Records::Options.LanguageSuffix.isEmpty());

        writeOptions(whole.left(Records::OptionsLayout::UserUin + 2));
        QCoro::waitFor(LoadOptions());
        QCOMPARE(Records::Options.UserUin, sample().UserUin & 0xFFFF);
    }

    void emptyDisplayNameShowsUserName()
    {
        Records::OptionsRecord options = sample();
        options.DisplayName.clear();
        writeOptions(Records::EncodeOptions(options));
        QCoro::waitFor(LoadOptions());
        QCOMPARE(Records::Options.DisplayName, options.UserName);
        QCOMPARE(Records::Options.UserName, options.UserName);
    }

    void longerFileReadsOnlyTheRecord()
    {
        writeOptions(Records::EncodeOptions(sample()) + QByteArray(500, '\x7f'));
        QCoro::waitFor(LoadOptions());
        QCOMPARE(Records::Options.LanguageSuffix, sample().LanguageSuffix);
    }

    void emptyFileGivesDefaults()
    {
        writeOptions(QByteArray());
        dirtyRecord();
        QCoro::waitFor(LoadOptions());
        verifyDefaults();
    }

    // While the messenger holds the file locked the game waits a while, then goes on
    // with the defaults instead of hanging or reading half-written data.
    void lockedFileLeavesDefaults()
    {
        writeOptions(Records::EncodeOptions(sample()));
        const int fd = ::open(optionsPath().toLocal8Bit().constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        dirtyRecord();
        OpenCounter tries(optionsPath());
        QVERIFY(tries.watching());
        QCoro::Task<> load = LoadOptions();
        QVERIFY(!load.isReady());   // it waits for the file, as a step
        QCoro::waitFor(std::move(load));
        ::close(fd);
        verifyDefaults();
        // Tried again while held, and at most 51 times (about 10 s of game time).
        const int opens = tries.opens();
        QVERIFY2(opens > 1 && opens <= 51, qPrintable(QString::number(opens)));

        // Once the lock is gone the same file reads normally.
        QCoro::waitFor(LoadOptions());
        QCOMPARE(Records::Options.UserUin, sample().UserUin);
    }

    void unreadableFileLeavesDefaults()
    {
        if (::geteuid() == 0)
            QSKIP("file permissions do not stop the superuser");
        writeOptions(Records::EncodeOptions(sample()));
        QVERIFY(QFile::setPermissions(optionsPath(), QFileDevice::WriteOwner));
        dirtyRecord();
        QVERIFY(LoadOptions().isReady());   // no wait: retrying could not help
        verifyDefaults();
    }

    void readOnlyFileIsRead()
    {
        writeOptions(Records::EncodeOptions(sample()));
        QVERIFY(QFile::setPermissions(optionsPath(), QFileDevice::ReadOwner));
        QCoro::waitFor(LoadOptions());
        QCOMPARE(Records::Options.UserName, sample().UserName);
        QVERIFY(QFile::setPermissions(optionsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
};

QTEST_MAIN(OptionsTest)
#include "tst_options.moc"
