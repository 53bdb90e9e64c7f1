#include "Utilities.h"

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
    void waitsAreStepsOfASequence();
    void nativePathMatchesLetterCase();
    void copyWholeFile();
    void registryRoundTrip();
    void programEndUnwindsEverySequence();   // last: the program ends in it
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

namespace {
struct Unwound
{
    bool &flag;
    ~Unwound() { flag = true; }
};

Task<> steps(QStringList &log, int ms, bool *unwound = nullptr)
{
    bool ignored = false;
    const Unwound guard{unwound ? *unwound : ignored};
    log << QStringLiteral("start %1").arg(ms);
    co_await Wait(ms);
    log << QStringLiteral("after %1").arg(ms);
}

// An operation that reports its end twice at once (two signals in one go).
Task<> doneTwice(bool &ended)
{
    const auto twice = [](std::function<void()> done) {
        done();
        done();
    };
    co_await WhenDone(twice);
    ended = true;
}
} // namespace

void TestKwUnit::waitsAreStepsOfASequence()
{
    // Wait(0) does not suspend; a real wait returns to the caller at once (no nested
    // event loop), and the sequence goes on from the event loop after its scaled length.
    QStringList log;
    Launch(steps(log, 0));
    QCOMPARE(log, (QStringList{"start 0", "after 0"}));
    log.clear();
    QElapsedTimer clock;
    clock.start();
    Launch(steps(log, 500));
    QCOMPARE(log, QStringList{"start 500"});
    QCOMPARE(PendingWaits(), 1);
    QTRY_COMPARE(log.size(), 2);
    QVERIFY2(clock.nsecsElapsed() / 1e6 >= 500 * TimeScale() * 0.99, qPrintable(QString::number(clock.elapsed())));
    // Two sequences take turns rather than nest: the shorter wait ends first.
    log.clear();
    Launch(steps(log, 2000));
    Launch(steps(log, 50));
    QTRY_COMPARE(log.size(), 4);
    QCOMPARE(log, (QStringList{"start 2000", "start 50", "after 50", "after 2000"}));
    QCOMPARE(PendingWaits(), 0);
    // An end reported twice ends the wait once, and the sequence goes on.
    bool ended = false;
    Launch(doneTwice(ended));
    QVERIFY(ended);
    QCOMPARE(PendingWaits(), 0);
    // A box's answer is awaited; a test's answerer answers at once.
    struct YesTo : NoDialogs {
        void ask(const QString &question, std::function<void(bool)> answered) override { answered(question == "yes?"); }
    } dialogs;
    QVERIFY(QCoro::waitFor(AnswerOf(dialogs, QStringLiteral("yes?"))));
    QVERIFY(!QCoro::waitFor(AnswerOf(dialogs, QStringLiteral("no?"))));
    QCOMPARE(ScaledInterval(0), 0);
    QVERIFY(ScaledInterval(1) >= 1);
}

void TestKwUnit::programEndUnwindsEverySequence()
{
    // Runs last: the program ends here. A sequence that waits unwinds at its next step
    // (its locals are destroyed, nothing after the wait runs), and so does a sequence
    // that begins a wait afterwards.
    QStringList log;
    bool unwound = false;
    Launch(steps(log, 60000, &unwound));
    TerminateApplication();
    EndAllWaits();
    QVERIFY(unwound);
    QCOMPARE(log, QStringList{"start 60000"});
    QCOMPARE(PendingWaits(), 0);
    unwound = false;
    Launch(steps(log, 60000, &unwound));
    QVERIFY(unwound);
    QCOMPARE(log.size(), 2);
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
#include "tst_utilities.moc"
