#include "DataFiles.h"
#include "records.h"
#include "scramble_keys.h"
#include "Utilities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include <fcntl.h>
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
};

// Counts the turns of the event loop with a zero-interval timer; on the fifth the other
// program lets go of its lock.
class LoopTurns
{
public:
    explicit LoopTurns(HeldLock *released = nullptr)
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this, released] {
            if (++count == 5 && released)
                released->release();
        });
        timer.start();
    }
    int count = 0;

private:
    QTimer timer;
};

// What an awaited step gave, once it has ended.
struct Outcome {
    bool done = false;
    bool result = false;
};
Task<> note(Task<bool> step, Outcome &outcome)
{
    outcome.result = co_await std::move(step);
    outcome.done = true;
}
Task<> note(Task<> step, Outcome &outcome)
{
    co_await std::move(step);
    outcome.result = outcome.done = true;
}

int checkedFlag(const QString &uin)
{
    return QCoro::waitFor(LookupCheckedUserWhenFree(uin));
}

} // namespace

class TestNetworkUnit : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir root;
    QString messenger;   // the messenger's folder
    QString games;       // the game's program folder below it
    int missingNotices = 0;
    std::unique_ptr<MessengerParameters> parameters;   // keeps what was read

private slots:
    void init();
    void cleanup();
    void nextField();
    void readParameter();
    void hostFolder();
    void lookupCheckedUser();
    void lookupUinAddress();
    // The next four run once more with waits 1000 times as long (tst_data_files_single_try):
    // a single try that waited for the other program would time out there.
    void singleTriesFailAtOnce();
    void nonRegularFilesFailAsMissing();
    void ownLocksDoNotBlock();
    void parametersAreKeptUntilTheFileChanges();
    void heldFileIsOpenedWhenFree();
    void awaitedOpenGivesUp();
    void parametersAreWaitedForWhenNeverRead();
    void textFileModes();
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
    missingNotices = 0;
    parameters = std::make_unique<MessengerParameters>([this](std::function<void()> endProgram) {
        ++missingNotices;
        endProgram();
    });
}

void TestNetworkUnit::cleanup()
{
    parameters.reset();
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
    QCOMPARE(parameters->value("gampt"), QString("5000"));        // 5 characters count; the first line wins
    QCOMPARE(parameters->value("gamptLonger"), QString("5000"));  // so does the wanted name
    QCOMPARE(parameters->value("udppt"), QString(180, '9'));      // values are cut to 180
    QCOMPARE(parameters->value("nope"), QString());
    QCOMPARE(missingNotices, 0);
}

void TestNetworkUnit::missingParameterFileIsFatal()
{
    writeBytes(messenger + "hollyfro.exe", "marker");
    // A folder in place of the parameter file is as missing as no file at all (reading
    // it used to spin for ever).
    QVERIFY(QDir().mkpath(messenger + "HFparms.cfg"));
    QVERIFY(!ApplicationTerminating());
    QCOMPARE(parameters->value("gampt"), QString());
    QCOMPARE(parameters->value("udppt"), QString());
    QCOMPARE(missingNotices, 1);   // once, however many are read
    QVERIFY(ApplicationTerminating());
}

void TestNetworkUnit::nonRegularFilesFailAsMissing()
{
    QVERIFY(QDir().mkpath(games + "folder.lst"));
    const QString fifo = games + "pipe.txt";
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile file;
    for (const char *mode : {"R", "RO", "W"})
        QVERIFY2(!OpenDataFile(games + "folder.lst", mode, file, 1), mode);
    QVERIFY(!OpenTextFile(games + "folder.lst", "R", file));
    QVERIFY(!OpenTextFile(games + "folder.lst", "A", file));
    // A FIFO would block a plain open until some writer came along.
    QVERIFY(!OpenTextFile(fifo, "R", file));
    QVERIFY(!OpenDataFile(fifo, "RO", file, 1));
    QVERIFY(!OpenTextFile(fifo, "W", file));
    Outcome awaited;
    Launch(note(OpenTextFileWhenFree(fifo, "R", file), awaited));
    QVERIFY(awaited.done && !awaited.result);   // not retried either
    QVERIFY(QFileInfo(games + "folder.lst").isDir());
}

void TestNetworkUnit::ownLocksDoNotBlock()
{
    const QString path = games + "questions.fil";
    writeBytes(path, "0123456789");
    QFile outer;
    QVERIFY(OpenDataFile(path, "R", outer, 1));
    // A handler running inside the outer code's wait opens the same file: at once.
    QFile inner;
    QVERIFY(OpenDataFile(path, "R", inner, 1));
    QCOMPARE(inner.read(4), QByteArray("0123"));
    inner.close();
    QFile text;
    QVERIFY(OpenTextFile(path, "A", text));
    text.close();
    // Once the game has closed it, another program's lock counts again.
    outer.close();
    HeldLock other(path);
    QVERIFY(other.fd >= 0);
    QFile blocked;
    QVERIFY(!OpenDataFile(path, "R", blocked, 1));
}

void TestNetworkUnit::singleTriesFailAtOnce()
{
    const QString path = games + "UINIP.lst";
    writeBytes(path, Records::UinAddressRecord{100, "10.0.0.1"}.encode());
    HeldLock lock(path);
    QVERIFY(lock.fd >= 0);
    QFile file;
    QVERIFY(!OpenDataFile(path, "R", file, 1));
    QVERIFY(!OpenDataFile(path, "RO", file, 1));
    QVERIFY(!OpenTextFile(path, "R", file));
    QCOMPARE(LookupUinAddress("100"), QString());
    lock.release();
    QCOMPARE(LookupUinAddress("100"), QString("10.0.0.1"));
    // Missing files and folders fail at once, awaited too.
    QVERIFY(!OpenDataFile(games + "missing.lst", "R", file, 1));
    QVERIFY(!OpenTextFile(games + "no/such/folder.txt", "W", file));
    Outcome awaited;
    Launch(note(OpenDataFileWhenFree(games + "missing.lst", "R", file, 1), awaited));
    QVERIFY(awaited.done && !awaited.result);
}

void TestNetworkUnit::parametersAreKeptUntilTheFileChanges()
{
    writeBytes(messenger + "hollyfro.exe", "marker");
    const QString path = messenger + "HFparms.cfg";
    writeBytes(path, parameterLine("gampt", "5000"));
    QCOMPARE(parameters->value("gampt"), QString("5000"));
    // Unchanged (same file, size and modification time): not read again, so a text
    // slipped in under the same stamp is not seen.
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    writeBytes(path, parameterLine("gampt", "5001"));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    QCOMPARE(parameters->value("gampt"), QString("5000"));
    // The messenger holds the file and writes it: the last values serve meanwhile.
    HeldLock lock(path);
    QVERIFY(lock.fd >= 0);
    writeBytes(path, parameterLine("gampt", "6001") + parameterLine("udppt", "6002"));
    QCOMPARE(parameters->value("gampt"), QString("5000"));
    QCOMPARE(parameters->value("udppt"), QString());
    // Once it lets go, the changed file is read again.
    lock.release();
    QCOMPARE(parameters->value("gampt"), QString("6001"));
    QCOMPARE(parameters->value("udppt"), QString("6002"));
    QCOMPARE(parameters->ports().game, quint16(6001));
    QCOMPARE(parameters->ports().messenger, quint16(6002));
    // The messenger's folder is looked up when the file is read, not on every call: a
    // registry naming another messenger counts once the kept file changes.
    const QString elsewhere = root.path() + "/elsewhere/";
    QVERIFY(QDir().mkpath(elsewhere));
    writeBytes(elsewhere + "hollyfro.exe", "marker");
    writeBytes(elsewhere + "HFparms.cfg", parameterLine("gampt", "7001"));
    QVERIFY(RegWriteText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir", elsewhere + "hollyfro.exe"));
    QCOMPARE(parameters->value("gampt"), QString("6001"));
    QCOMPARE(parameters->kept.folder, messenger);
    writeBytes(path, parameterLine("gampt", "60010"));
    QCOMPARE(parameters->value("gampt"), QString("7001"));
    QCOMPARE(parameters->kept.folder, elsewhere);
    QCOMPARE(parameters->ports().game, quint16(7001));
    QCOMPARE(parameters->ports().messenger, quint16(4010));   // none named: the default
    QCOMPARE(missingNotices, 0);
}

void TestNetworkUnit::heldFileIsOpenedWhenFree()
{
    const QString path = games + "held.lst";
    writeBytes(path, "data");
    HeldLock lock(path);
    QVERIFY(lock.fd >= 0);
    const LoopTurns turns(&lock);
    QFile file;
    Outcome opened;
    Launch(note(OpenDataFileWhenFree(path, "R", file, 1), opened));
    QVERIFY(!opened.done);   // held: the step waits, the event loop goes on
    QTRY_VERIFY(opened.done);
    QVERIFY(opened.result);
    QVERIFY(turns.count >= 5);
    QCOMPARE(file.readAll(), QByteArray("data"));
}

void TestNetworkUnit::awaitedOpenGivesUp()
{
    const QString path = games + "held.lst";
    writeBytes(path, "data");
    HeldLock lock(path);
    QVERIFY(lock.fd >= 0);
    const LoopTurns turns;
    QFile file;
    Outcome opened;
    Launch(note(OpenTextFileWhenFree(path, "R", file), opened));
    QVERIFY(!opened.done);
    QTRY_VERIFY(opened.done);   // 51 tries, 50 waits of 200 ms of game time
    QVERIFY(!opened.result);
    QVERIFY(turns.count >= 5);
    QVERIFY(!file.isOpen());
}

void TestNetworkUnit::parametersAreWaitedForWhenNeverRead()
{
    writeBytes(messenger + "hollyfro.exe", "marker");
    const QString path = messenger + "HFparms.cfg";
    writeBytes(path, parameterLine("gampt", "5000"));
    HeldLock lock(path);
    QVERIFY(lock.fd >= 0);
    QCOMPARE(parameters->value("gampt"), QString());   // the caller's default, no wait
    const LoopTurns turns(&lock);
    Outcome read;
    Launch(note(parameters->readWhenFree(), read));
    QVERIFY(!read.done);
    QTRY_VERIFY(read.done);
    // What the step read is kept: held again, the file still gives its value.
    HeldLock again(path);
    QCOMPARE(parameters->value("gampt"), QString("5000"));
    QCOMPARE(missingNotices, 0);
    // Parameters that go while their step waits are not touched when it ends.
    parameters = std::make_unique<MessengerParameters>();
    Outcome gone;
    Launch(note(parameters->readWhenFree(), gone));
    parameters.reset();
    again.release();
    QTRY_VERIFY(gone.done);
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
    QCOMPARE(checkedFlag("100"), 1);
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
    QCOMPARE(MessengerFolder(), QString());
    // The marker in a folder above the program folder is found by the upward search.
    writeBytes(messenger + "hollyfro.exe", "marker");
    QCOMPARE(MessengerFolder(), messenger);
    // A registry value naming a folder is not taken.
    const QString elsewhere = root.path() + "/elsewhere/";
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(RegWriteText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir", elsewhere));
    QCOMPARE(MessengerFolder(), messenger);
    // One naming an existing file gives that file's folder.
    writeBytes(elsewhere + "hollyfro.exe", "marker");
    QVERIFY(RegWriteText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir", elsewhere + "hollyfro.exe"));
    QCOMPARE(MessengerFolder(), elsewhere);
}

void TestNetworkUnit::lookupCheckedUser()
{
    QCOMPARE(checkedFlag("100"), 0);   // no file
    QByteArray records = Records::CheckedUserRecord{"100", 1}.encode() + Records::CheckedUserRecord{"200", 1}.encode()
                         + Records::CheckedUserRecord{"100", 0}.encode();
    QByteArray clamped = Records::CheckedUserRecord{"300", 7}.encode();
    clamped[0] = char(200);   // a length byte larger than the field is clamped to 12
    records += clamped + QByteArray(10, 'x');   // and a trailing partial record is ignored
    writeBytes(games + "checkedusr.lst", records);
    QCOMPARE(checkedFlag("100"), 0);   // the later record wins
    QCOMPARE(checkedFlag("200"), 1);
    QCOMPARE(checkedFlag("999"), 0);
    QCOMPARE(checkedFlag("10"), 0);
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
