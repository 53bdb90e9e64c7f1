#include "DataFiles.h"
#include "MessageBoxes.h"
#include "records.h"
#include "scramble_keys.h"
#include "Utilities.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <chrono>
#include <thread>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray parameterLine(const QString &name, const QString &value)
{
    return ShiftText(name.toLatin1(), ScrambleKeys::ParameterName, ShiftDirection::Down) + "&&"
           + ShiftText(value.toLatin1(), ScrambleKeys::ParameterValue, ShiftDirection::Down) + "\r\n";
}

// Holds an advisory lock the way another program would, until released.
struct HeldLock {
    int fd = -1;
    explicit HeldLock(const QString &path)
    {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        if (fd >= 0)
            ::flock(fd, LOCK_EX);
    }
    void release()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    ~HeldLock() { release(); }
    // Another program lets go after ms of game time (the open waits without an event loop).
    std::jthread releaseAfter(int ms)
    {
        return std::jthread([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ScaledInterval(ms)));
            release();
        });
    }
};

} // namespace

class TestNetworkUnit : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir root;
    QString messenger;   // the messenger's folder
    QString games;       // the game's program folder below it
    QStringList boxes;

private slots:
    void init();
    void cleanup();
    void nextField();
    void readParameter();
    void hostFolder();
    void lookupCheckedUser();
    void lookupUinAddress();
    void openRetriesWhileLocked();
    void openGivesUpOnLongLocksAndMissingFiles();
    void textFileModes();
    void nonRegularFilesFailAsMissing();
    void ownLocksDoNotBlock();
    void lookupsOpenReadOnly();
    void eightBitTextIsWindows1252();
    // Last: once the program is ending, waits no longer wait.
    void missingParameterFileIsFatal();
};

void TestNetworkUnit::init()
{
    messenger = root.path() + "/messenger/";
    games = messenger + "Games/";
    QDir(root.path()).removeRecursively();
    QVERIFY(QDir().mkpath(games));
    qputenv("HOLLYFROST_PROGRAM_FOLDER", games.toLocal8Bit());
    qputenv("HOLLYFROST_REGISTRY", (root.path() + "/registry.ini").toLocal8Bit());
    boxes.clear();
    SetMessageBoxAnswerer([this](BoxKind, const QString &text) { boxes << text; });
}

void TestNetworkUnit::cleanup()
{
    SetMessageBoxAnswerer({});
}

void TestNetworkUnit::nextField()
{
    QString text = "RS&&Bob&&42";
    QCOMPARE(NextField(text), QString("RS"));
    QCOMPARE(text, QString("Bob&&42"));
    QCOMPARE(NextField(text), QString("Bob"));
    QCOMPARE(NextField(text), QString("42"));
    QCOMPARE(NextField(text), QString("42"));   // no "&&" left: the same text again
    text = "&&rest";
    QCOMPARE(NextField(text), QString());
    QCOMPARE(text, QString("rest"));
    text = "a&&";
    QCOMPARE(NextField(text), QString("a"));
    QCOMPARE(text, QString());
}

void TestNetworkUnit::readParameter()
{
    writeBytes(messenger + "hollyfro.exe", "marker");
    writeBytes(messenger + "HFparms.cfg",
               parameterLine("other", "1") + parameterLine("gamptXYZ", "5000") + parameterLine("gampt", "6000")
                   + parameterLine("udppt", QString(300, '9')) + QByteArray("garbage-without-separator\r\n"));
    QCOMPARE(ReadParameter("gampt"), QString("5000"));        // 5 characters count; the first line wins
    QCOMPARE(ReadParameter("gamptLonger"), QString("5000"));  // so does the wanted name
    QCOMPARE(ReadParameter("udppt"), QString(180, '9'));      // values are cut to 180
    QCOMPARE(ReadParameter("nope"), QString());
    QVERIFY(boxes.isEmpty());
}

void TestNetworkUnit::missingParameterFileIsFatal()
{
    writeBytes(messenger + "hollyfro.exe", "marker");
    // A folder in place of the parameter file is as missing as no file at all (reading
    // it used to spin for ever).
    QVERIFY(QDir().mkpath(messenger + "HFparms.cfg"));
    QVERIFY(!ApplicationTerminating());
    QCOMPARE(ReadParameter("gampt"), QString());
    QCOMPARE(boxes, QStringList{"Hollyfrost is missing file HFparms.cfg\rand cannot continue."});
    QVERIFY(ApplicationTerminating());
}

void TestNetworkUnit::nonRegularFilesFailAsMissing()
{
    QVERIFY(QDir().mkpath(games + "folder.lst"));
    const QString fifo = games + "pipe.txt";
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    QFile file;
    for (const char *mode : {"R", "RO", "W"})
        QVERIFY2(!OpenDataFile(games + "folder.lst", mode, file, 1), mode);
    QVERIFY(!OpenTextFile(games + "folder.lst", "R", file));
    QVERIFY(!OpenTextFile(games + "folder.lst", "A", file));
    // A FIFO would block a plain open until some writer came along.
    QVERIFY(!OpenTextFile(fifo, "R", file));
    QVERIFY(!OpenDataFile(fifo, "RO", file, 1));
    QVERIFY(!OpenTextFile(fifo, "W", file));
    QVERIFY2(clock.elapsed() < 2000, "non-regular files are not retried");
    QVERIFY(QFileInfo(games + "folder.lst").isDir());
}

void TestNetworkUnit::ownLocksDoNotBlock()
{
    const QString path = games + "questions.fil";
    writeBytes(path, "0123456789");
    QFile outer;
    QVERIFY(OpenDataFile(path, "R", outer, 1));
    // A handler running inside the outer code's wait opens the same file: at once.
    QElapsedTimer clock;
    clock.start();
    QFile inner;
    QVERIFY(OpenDataFile(path, "R", inner, 1));
    QCOMPARE(inner.read(4), QByteArray("0123"));
    inner.close();
    QFile text;
    QVERIFY(OpenTextFile(path, "A", text));
    text.close();
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    // Once the game has closed it, another program's lock counts again.
    outer.close();
    HeldLock other(path);
    QVERIFY(other.fd >= 0);
    clock.restart();
    QFile blocked;
    const std::jthread releaser = other.releaseAfter(1000);
    QVERIFY(OpenDataFile(path, "R", blocked, 1));
    QVERIFY(clock.elapsed() >= ScaledInterval(1000) * 0.9);
}

void TestNetworkUnit::lookupsOpenReadOnly()
{
    // The messenger's list files may be read-only to the game: lookups still answer.
    writeBytes(games + "checkedusr.lst", Records::CheckedUserRecord{"100", 1}.encode());
    writeBytes(games + "UINIP.lst", Records::UinAddressRecord{100, "10.0.0.1"}.encode());
    for (const char *name : {"checkedusr.lst", "UINIP.lst"})
        QVERIFY(QFile::setPermissions(games + name, QFile::ReadOwner | QFile::ReadGroup));
    if (::geteuid() == 0)
        QSKIP("file permissions do not stop the superuser");
    QCOMPARE(LookupCheckedUser("100"), 1);
    QCOMPARE(LookupUinAddress("100"), QString("10.0.0.1"));
    QFile file;
    QVERIFY(OpenDataFile(games + "UINIP.lst", "RO", file, 1));
    QVERIFY(!file.isWritable());
}

void TestNetworkUnit::eightBitTextIsWindows1252()
{
    // "€" and "Š" are bytes 0x80 and 0x8A of the code page, both ways.
    const QString name = QStringLiteral("Ren\u00E9 \u20AC\u0160\u017D\u2122");
    QCOMPARE(ToBytes(name), QByteArray("Ren\xE9 \x80\x8A\x8E\x99"));
    QCOMPARE(FromBytes(QByteArray("Ren\xE9 \x80\x8A\x8E\x99")), name);
    QByteArray every(256, '\0');
    for (int i = 0; i < 256; ++i)
        every[i] = char(i);
    QCOMPARE(ToBytes(FromBytes(every)), every);   // every byte survives a round trip
    QCOMPARE(ToBytes(QStringLiteral("\u4E2D")), QByteArray("?"));
    // Through a text file and a record as the game writes and reads them.
    QFile file;
    QVERIFY(OpenTextFile(games + "names.txt", "W", file));
    QVERIFY(WriteTextLine(file, name));
    file.close();
    QVERIFY(OpenTextFile(games + "names.txt", "R", file));
    QCOMPARE(ReadTextLine(file), name);
    const Records::CheckedUserRecord record{QStringLiteral("\u20AC1"), 1};
    QCOMPARE(Records::CheckedUserRecord::decode(record.encode()).Uin, QStringLiteral("\u20AC1"));
}

void TestNetworkUnit::hostFolder()
{
    // Nothing on the way up holds the marker: empty.
    QCOMPARE(HostFolder(), QString());
    // The marker in a folder above the program folder is found by the upward search.
    writeBytes(messenger + "hollyfro.exe", "marker");
    QCOMPARE(HostFolder(), messenger);
    // A registry value naming a folder is not taken.
    const QString elsewhere = root.path() + "/elsewhere/";
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(RegWriteText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir", elsewhere));
    QCOMPARE(HostFolder(), messenger);
    // One naming an existing file gives that file's folder.
    writeBytes(elsewhere + "hollyfro.exe", "marker");
    QVERIFY(RegWriteText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir", elsewhere + "hollyfro.exe"));
    QCOMPARE(HostFolder(), elsewhere);
}

void TestNetworkUnit::lookupCheckedUser()
{
    QCOMPARE(LookupCheckedUser("100"), 0);   // no file
    QByteArray records = Records::CheckedUserRecord{"100", 1}.encode() + Records::CheckedUserRecord{"200", 1}.encode()
                         + Records::CheckedUserRecord{"100", 0}.encode();
    QByteArray clamped = Records::CheckedUserRecord{"300", 7}.encode();
    clamped[0] = char(200);   // a length byte larger than the field is clamped to 12
    records += clamped + QByteArray(10, 'x');   // and a trailing partial record is ignored
    writeBytes(games + "checkedusr.lst", records);
    QCOMPARE(LookupCheckedUser("100"), 0);   // the later record wins
    QCOMPARE(LookupCheckedUser("200"), 1);
    QCOMPARE(LookupCheckedUser("999"), 0);
    QCOMPARE(LookupCheckedUser("10"), 0);
}

void TestNetworkUnit::lookupUinAddress()
{
    QCOMPARE(LookupUinAddress("100"), QString());   // no file
    writeBytes(games + "UINIP.lst", Records::UinAddressRecord{100, "10.0.0.1"}.encode()
                                        + Records::UinAddressRecord{-5, "10.0.0.2"}.encode()
                                        + Records::UinAddressRecord{100, "10.0.0.3"}.encode());
    QCOMPARE(LookupUinAddress("100"), QString("10.0.0.1"));   // the first match
    QCOMPARE(LookupUinAddress("-5"), QString("10.0.0.2"));
    QCOMPARE(LookupUinAddress("$64"), QString("10.0.0.1"));   // the number 100 in hexadecimal
    QCOMPARE(LookupUinAddress("abc"), QString());
    QCOMPARE(LookupUinAddress(""), QString());
    QCOMPARE(LookupUinAddress("7"), QString());
}

void TestNetworkUnit::openRetriesWhileLocked()
{
    const QString path = games + "held.lst";
    writeBytes(path, "data");
    HeldLock lock(path);
    QVERIFY(lock.fd >= 0);
    // Released after about 5 s of game time: the open succeeds on a retry.
    const std::jthread releaser = lock.releaseAfter(5000);
    QElapsedTimer clock;
    clock.start();
    QFile file;
    QVERIFY(OpenDataFile(path, "R", file, 1));
    QVERIFY(clock.elapsed() >= ScaledInterval(5000) * 0.9);
    QCOMPARE(file.readAll(), QByteArray("data"));
}

void TestNetworkUnit::openGivesUpOnLongLocksAndMissingFiles()
{
    const QString path = games + "held.lst";
    writeBytes(path, "data");
    HeldLock lock(path);
    QElapsedTimer clock;
    clock.start();
    QFile file;
    QVERIFY(!OpenTextFile(path, "R", file));
    // 51 tries with 50 waits of 200 ms: about 10 s of game time.
    const qint64 gameMs = qint64(clock.elapsed() / TimeScale());
    QVERIFY2(gameMs >= 9900 && gameMs < 16000, qPrintable(QString::number(gameMs)));
    lock.release();
    clock.restart();
    QVERIFY(!OpenDataFile(games + "missing.lst", "R", file, 1));
    QVERIFY(!OpenTextFile(games + "no/such/folder.txt", "W", file));
    QVERIFY(clock.elapsed() < 100);   // missing files and folders fail at once
}

void TestNetworkUnit::textFileModes()
{
    const QString path = games + "notes.txt";
    QFile file;
    QVERIFY(!OpenTextFile(path, "A", file));   // appending needs an existing file
    QVERIFY(OpenTextFile(path, "W", file));
    QVERIFY(WriteTextLine(file, "one"));
    file.close();
    QVERIFY(OpenTextFile(path, "A", file));
    QVERIFY(WriteTextLine(file, "two"));
    file.close();
    QVERIFY(OpenTextFile(path, "R", file));
    QCOMPARE(ReadTextLine(file), QString("one"));
    QCOMPARE(ReadTextLine(file), QString("two"));
    QVERIFY(file.atEnd());
    file.close();
    QVERIFY(OpenDataFile(path, "W", file, 1));   // "W" truncates
    QCOMPARE(file.size(), 0);
}

QTEST_MAIN(TestNetworkUnit)
#include "tst_data_files.moc"
