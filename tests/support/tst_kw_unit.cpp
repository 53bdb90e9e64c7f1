#include "kw_unit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestKwUnit : public QObject
{
    Q_OBJECT
private slots:
    void folderAndNameOfPath_data();
    void folderAndNameOfPath();
    void windowsFolder();
    void shiftTextRollsAndWraps();
    void replaceTextIsCaseInsensitiveAndSinglePass();
    void isInteger_data();
    void isInteger();
    void delayDispatchesEventsAndKeepsTime();
    void nativePathMatchesLetterCase();
    void copyWholeFile();
    void registryRoundTrip();
};

void TestKwUnit::folderAndNameOfPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("withoutExtension");
    QTest::newRow("windows file") << "C:\\Games\\x.exe" << "C:\\Games\\" << "x.exe" << "exe" << "C:\\Games\\x";
    QTest::newRow("bare name") << "file.txt" << "file.txt" << "file.txt" << "txt" << "file";
    QTest::newRow("mixed separators") << "a/b\\c/d" << "a/b\\" << "d" << "" << "";
    QTest::newRow("dot only in folder") << "C:\\x.y\\file" << "C:\\x.y\\" << "file" << "" << "C:\\x";
    QTest::newRow("double extension") << "/tmp/archive.tar.gz" << "/tmp/" << "archive.tar.gz" << "gz" << "/tmp/archive.tar";
    QTest::newRow("trailing dot") << "name." << "name." << "name." << "" << "name";
    QTest::newRow("drive only") << "C:\\" << "C:\\" << "" << "" << "";
}

void TestKwUnit::folderAndNameOfPath()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(QString, withoutExtension);
    QCOMPARE(FolderOfPath(path), folder);
    QCOMPARE(NameOfPath(path), name);
    QCOMPARE(ExtensionOfPath(path), extension);
    QCOMPARE(WithoutExtension(path), withoutExtension);
}

void TestKwUnit::windowsFolder()
{
    QCOMPARE(WithTrailingBackslash(QString()), QString());
    QCOMPARE(WithTrailingBackslash("C:\\WINDOWS"), QString("C:\\WINDOWS\\"));
    QCOMPARE(WithTrailingBackslash("C:\\WINDOWS\\"), QString("C:\\WINDOWS\\"));
    qputenv("WINDIR", "C:\\WINDOWS");
    QCOMPARE(WindowsFolder(), QString("C:\\WINDOWS\\"));
    qunsetenv("WINDIR");
    QVERIFY(WindowsFolder().endsWith(u'\\'));
}

void TestKwUnit::shiftTextRollsAndWraps()
{
    // Key 3 starts at shift 5: 5, 4, 3, 2, 1, 5, ...
    const QByteArray plain(7, 'A');
    const QByteArray up = ShiftText(plain, 3, ShiftDirection::Up);
    QCOMPARE(up, QByteArray("FEDCBFE"));
    QCOMPARE(ShiftText(up, 3, ShiftDirection::Down), plain);
    // Only the low three bits of the key count.
    QCOMPARE(ShiftText(plain, 0xFB, ShiftDirection::Up), up);
    // Byte values wrap around in both directions.
    QCOMPARE(ShiftText(QByteArray("\xFE"), 7, ShiftDirection::Up), QByteArray("\x07"));
    QCOMPARE(ShiftText(QByteArray("\x01"), 0, ShiftDirection::Down), QByteArray("\xFF"));
    // Every byte survives a round trip under every key.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    for (int key = 0; key < 8; ++key)
        QCOMPARE(ShiftText(ShiftText(all, key, ShiftDirection::Down), key, ShiftDirection::Up), all);
}

void TestKwUnit::replaceTextIsCaseInsensitiveAndSinglePass()
{
    QCOMPARE(ReplaceText("HOLLY and holly", "holly", "X", true), QString("X and X"));
    QCOMPARE(ReplaceText("HOLLY and holly", "holly", "X", false), QString("X and holly"));
    // A replacement containing the text to find is not replaced again.
    QCOMPARE(ReplaceText("Hollyfrost", "holly", "[holly]", true), QString("[holly]frost"));
    // A marker already in the source is replaced too.
    QCOMPARE(ReplaceText("a~~~~~b", "zz", "Q", true), QString("aQb"));
    QCOMPARE(ReplaceText("abc", "", "Q", true), QString("abc"));
    // A text to find inside the marker must not make it loop.
    QCOMPARE(ReplaceText("a~b", "~", "-", true), QString("a-b"));
}

void TestKwUnit::isInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "42" << true << 42;
    QTest::newRow("negative") << "-7" << true << -7;
    QTest::newRow("hex") << "$1F" << true << 31;
    QTest::newRow("leading blanks") << "  12" << true << 12;
    QTest::newRow("trailing letter") << "12a" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("trailing blank") << "12 " << false << 0;
    QTest::newRow("max") << "2147483647" << true << 2147483647;
    QTest::newRow("min") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("too large") << "2147483648" << false << 0;
    QTest::newRow("far too large") << "99999999999999999999" << false << 0;
    QTest::newRow("bad hex") << "$G1" << false << 0;
}

void TestKwUnit::isInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsInteger(text), valid);
    bool ok = false;
    const qint32 result = ToInteger(text, &ok);
    QCOMPARE(ok, valid);
    QFETCH(int, value);
    if (valid)
        QCOMPARE(result, value);
}

void TestKwUnit::delayDispatchesEventsAndKeepsTime()
{
    // Delay(0) returns without dispatching a queued event.
    bool fired = false;
    QTimer::singleShot(0, this, [&] { fired = true; });
    Delay(0);
    QVERIFY(!fired);
    // A real delay dispatches it, and lasts at least its scaled length.
    QElapsedTimer clock;
    clock.start();
    Delay(500);
    QVERIFY(fired);
    const double scaled = 500 * TimeScale();
    QVERIFY2(clock.nsecsElapsed() / 1e6 >= scaled * 0.99, qPrintable(QString::number(clock.elapsed())));
    // A negative argument waits as long as its absolute value.
    clock.restart();
    Delay(-500);
    QVERIFY(clock.nsecsElapsed() / 1e6 >= scaled * 0.99);
    // Nested delays: a handler that waits inside a wait returns to the outer wait.
    int nested = 0;
    QTimer::singleShot(ScaledInterval(10), this, [&] { Delay(50); ++nested; });
    Delay(200);
    QCOMPARE(nested, 1);
    QCOMPARE(ScaledInterval(0), 0);
    QVERIFY(ScaledInterval(1) >= 1);
}

void TestKwUnit::nativePathMatchesLetterCase()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath("msagent/chars"));
    QFile file(dir.path() + "/msagent/chars/Pip.acs");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString windows = WithTrailingBackslash(dir.path());
    QCOMPARE(NativePath(windows + "MSAGENT\\CHARS\\pip.ACS"), dir.path() + "/msagent/chars/Pip.acs");
    QVERIFY(FileExists(windows + "Msagent\\chars\\Pip.acs"));
    QVERIFY(!FileExists(windows + "Msagent\\chars\\"));   // a folder is not a file
    QVERIFY(FolderExists(windows + "MSAgent\\Chars"));
    QVERIFY(!FileExists(windows + "Msagent\\chars\\Missing.acs"));
    QCOMPARE(NativePath(windows + "nothere\\Pip.acs"), dir.path() + "/nothere/Pip.acs");
    QCOMPARE(NativePath(QString()), QString());
}

void TestKwUnit::copyWholeFile()
{
    QTemporaryDir dir;
    const QString source = dir.path() + "/source.bin";
    QByteArray content;
    for (int i = 0; i < 40000; ++i)
        content.append(static_cast<char>(i * 7));
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    const QString target = dir.path() + "/target.bin";
    QVERIFY(CopyWholeFile(target, source));
    QFile copy(target);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), content);
    QVERIFY(!CopyWholeFile(source, source));
    QVERIFY(!CopyWholeFile(target, dir.path() + "/missing"));
    QVERIFY(!CopyWholeFile(dir.path() + "/no/such/folder/x", source));
}

void TestKwUnit::registryRoundTrip()
{
    QTemporaryDir dir;
    qputenv("HOLLYFROST_REGISTRY", (dir.path() + "/sub/registry.ini").toLocal8Bit());
    QCOMPARE(RegReadText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir"), QString());
    QVERIFY(RegWriteText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir", "/x/hollyfro.exe"));
    QVERIFY(RegWriteText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Games", "racing", "/y/game"));
    QCOMPARE(RegReadText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir"), QString("/x/hollyfro.exe"));
    QCOMPARE(RegReadText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Games", "racing"), QString("/y/game"));
    QCOMPARE(RegReadText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Games", "exedir"), QString());
    qputenv("HOLLYFROST_REGISTRY", "/proc/no-such-place/registry.ini");
    QVERIFY(!RegWriteText(RegistryRoot::LocalMachine, "Software\\Hollyfrost\\Main", "exedir", "x"));
    qunsetenv("HOLLYFROST_REGISTRY");
}

QTEST_MAIN(TestKwUnit)
#include "tst_kw_unit.moc"
