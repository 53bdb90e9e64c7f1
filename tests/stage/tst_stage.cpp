#include "Agent.h"
#include "SampleCharacter.h"
#include "Stage.h"
#include "Utilities.h"

#include <cmath>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

// Drives the stage with the characters the build ships (Announcer.acs in the program
// folder, the contestants in the character library).
class TestStage : public QObject
{
    Q_OBJECT
private:
    RaceScreen raceScreen;   // the primary screen
    AgentStage *stage = nullptr;
    Random random{7};   // the same draws on every run
    QString library;
    QSize screen;

    agent::Character *character(const QString &identity) { return stage->control().character(identity); }
    void waitForQueue(const QString &identity)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!character(identity) || character(identity)->queueEmpty(), 10000);
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void loadScalesAndToleratesReloads();
    void loadFallsBackToTheLibrary();
    void disconnectedStageDoesNothing();
    void reloadedCharacterSpeaksAndActs();
    void audioIsBusyWhileACharacterSpeaks();
    void actionsPlayHideAndFail();
    void cornerMovesAndRanges();
    void deltaMoves();
    void idleAndClicksFollowTheControl();
    void soundEffectWithMissingFileDoesNothing();
    void characterFileListing();
    void pickAlternativeAndRespelling();
};

void TestStage::initTestCase()
{
    qputenv("HOLLYFROST_PROGRAM_FOLDER", qgetenv("HF_BIN_DIR"));
    qputenv("WINDIR", qgetenv("HF_WINDOWS_DIR"));
    library = qEnvironmentVariable("HF_WINDOWS_DIR") + "/msagent/chars";
    QVERIFY2(QDir(library).entryList({"*.acs"}).size() >= 3, "the build ships the character library");
    screen = QGuiApplication::primaryScreen()->geometry().size();
}

void TestStage::init()
{
    stage = new AgentStage(raceScreen);
}

void TestStage::cleanup()
{
    delete stage;
    stage = nullptr;
    qputenv("WINDIR", qgetenv("HF_WINDOWS_DIR"));
}

void TestStage::loadScalesAndToleratesReloads()
{
    const QString announcer = ProgramFolder() + "Announcer.acs";
    QVERIFY(stage->load(10, announcer, false, true, "Announcer"));
    agent::Character *a = character("Announcer");
    QVERIFY(a);
    const int naturalWidth = a->naturalWidth();
    const int naturalHeight = a->naturalHeight();
    QCOMPARE(a->width(), naturalWidth);
    QCOMPARE(a->balloonStyle(), 0x0220000Eu);
    // The same identity again counts as loaded; size 15 is one and a half times.
    QVERIFY(stage->load(15, announcer, true, true, "Announcer"));
    QCOMPARE(a->width(), int(std::nearbyint(naturalWidth * 1.5)));   // ties to even
    QCOMPARE(a->height(), int(std::nearbyint(naturalHeight * 1.5)));
    QCOMPARE(a->balloonStyle(), 0x0220000Fu);
    // Size 0 and negative sizes keep the natural size.
    QVERIFY(stage->load(0, announcer, false, false, "Announcer"));
    QCOMPARE(a->height(), naturalHeight);
    QVERIFY(stage->load(-3, announcer, false, false, "Announcer"));
    QCOMPARE(a->width(), naturalWidth);
    QVERIFY(!stage->idle());
}

void TestStage::loadFallsBackToTheLibrary()
{
    // A missing file loads the first character of the library.
    QVERIFY(stage->load(10, ProgramFolder() + "Missing.acs", false, false, "Player0"));
    QVERIFY(character("Player0"));
    QVERIFY(stage->load(10, QString(), false, false, "Player1"));
    QCOMPARE(DefaultCharacterFile(), QDir(library).entryList({"*.acs"}, QDir::Files, QDir::Name).first());
    // With an empty library there is nothing to fall back to.
    QTemporaryDir empty;
    QVERIFY(QDir(empty.path()).mkpath("msagent/chars"));
    qputenv("WINDIR", empty.path().toLocal8Bit());
    QCOMPARE(DefaultCharacterFile(), QString());
    QVERIFY(!stage->load(10, QString(), false, false, "Player2"));
    QVERIFY(!character("Player2"));
    // "No Agent.acs" is preferred when it is there.
    QVERIFY(QFile::copy(ProgramFolder() + "Announcer.acs", empty.path() + "/msagent/chars/No Agent.acs"));
    QVERIFY(DefaultCharacterFile().endsWith("No Agent.acs"));
    QVERIFY(stage->load(10, QString(), false, false, "Player2"));
}

void TestStage::disconnectedStageDoesNothing()
{
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    QVERIFY(stage->load(10, NthCharacterFile(1), false, false, "Player0"));
    stage->unload("Player0");
    QVERIFY(!character("Player0"));
    // The unload switched the control's connection off: speech and actions do nothing.
    stage->hide(true, "Announcer");
    waitForQueue("Announcer");
    QVERIFY(!character("Announcer")->visible());
    stage->speak("Hello", "Announcer");
    QVERIFY(stage->act("nosuchanimation", "Announcer"));
    waitForQueue("Announcer");
    QVERIFY(!character("Announcer")->visible());
    // Operations on characters that are not loaded are harmless.
    stage->show(true, "Player5");
    stage->stop("Player5");
    stage->move(10, 10, "Player5", 100);
    QCOMPARE(stage->position("Player5"), QPoint(0, 0));
    QCoro::waitFor(stage->waitForAudio());
}

void TestStage::reloadedCharacterSpeaksAndActs()
{
    QStringList heard;
    stage->setSpeechObserver([&heard](const QString &identity, const QString &text) { heard << identity + ": " + text; });
    const QString file = NthCharacterFile(1);
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    QVERIFY(stage->load(10, file, false, false, "Player0"));
    stage->unload("Player0");
    // Loaded again under the same identity: it speaks and acts like a new one.
    QVERIFY(stage->load(10, file, false, false, "Player0"));
    stage->hide(true, "Player0");
    waitForQueue("Player0");
    stage->speak("Back again", "Player0");
    QCOMPARE(heard, QStringList{"Player0: Back again"});
    QVERIFY(stage->act("wave", "Player0"));
    QTRY_VERIFY(character("Player0")->visible());
    // A load of an identity that is still loaded connects the stage as well.
    stage->unload("Player0");
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    stage->speak("Still here", "Announcer");
    QCOMPARE(heard.size(), 2);
    QCOMPARE(heard.last(), QString("Announcer: Still here"));
}

void TestStage::audioIsBusyWhileACharacterSpeaks()
{
    // With or without a sound device, the audio output counts as busy while a character
    // speaks, so the race's waits for the speech last as long everywhere.
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    waitForQueue("Announcer");
    QVERIFY(stage->control().audioOutputStatus() < 2);
    stage->speak("One two three four five six seven eight nine ten", "Announcer");
    QElapsedTimer started;
    started.start();
    while (stage->control().audioOutputStatus() != 4 && started.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QCOMPARE(stage->control().audioOutputStatus(), 4);
    QCoro::waitFor(stage->waitForAudio());
    QVERIFY(stage->control().audioOutputStatus() < 2);
}

void TestStage::actionsPlayHideAndFail()
{
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    QVERIFY(stage->act("Wave", "Announcer"));   // lower-cased first
    QTRY_VERIFY(character("Announcer")->visible());
    QVERIFY(!stage->act("nosuchanimation", "Announcer"));
    QVERIFY(stage->act("hide", "Announcer"));   // plays the animation, then hides at once
    waitForQueue("Announcer");
    QVERIFY(!character("Announcer")->visible());
    QVERIFY(stage->act("hidefast", "Announcer"));   // an action shows a hidden character first
    waitForQueue("Announcer");
    QVERIFY(!character("Announcer")->visible());
    QVERIFY(!stage->act("wave", "Player4"));   // no such character: the animation cannot play
}

void TestStage::cornerMovesAndRanges()
{
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    agent::Character *a = character("Announcer");
    QVERIFY(stage->act("appeartopright", "Announcer"));
    waitForQueue("Announcer");
    QCOMPARE(stage->position("Announcer"), QPoint(screen.width() - a->width(), 0));
    QVERIFY(stage->act("movetobottomleft", "Announcer"));
    waitForQueue("Announcer");
    QCOMPARE(stage->position("Announcer"), QPoint(0, screen.height() - a->height()));
    QVERIFY(stage->act("movetocenter", "Announcer"));   // stays where it is
    stage->moveToCorner(7, 0, "Announcer");   // unknown corner: nothing
    waitForQueue("Announcer");
    QCOMPARE(stage->position("Announcer"), QPoint(0, screen.height() - a->height()));
    stage->move(40000, 10, "Announcer", 0);   // outside the 16-bit range
    stage->move(10, -40000, "Announcer", 0);
    waitForQueue("Announcer");
    QCOMPARE(stage->position("Announcer"), QPoint(0, screen.height() - a->height()));
    stage->act("fly", "Announcer");
    waitForQueue("Announcer");
    const QPoint flown = stage->position("Announcer");
    QVERIFY(flown.x() >= 0 && flown.x() <= screen.width() - 51);
    QVERIFY(flown.y() >= 0 && flown.y() <= screen.height() - 71);
}

void TestStage::deltaMoves()
{
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    stage->move(100, 100, "Announcer", 0);
    waitForQueue("Announcer");
    // Without "&&" both offsets are the same. The move follows the wait for the idle
    // flag, which is bounded (5 s of game time), and the action returns at once.
    QVERIFY(stage->act("movetodelta25", "Announcer"));
    QCOMPARE(stage->position("Announcer"), QPoint(100, 100));
    QTRY_COMPARE_WITH_TIMEOUT(stage->position("Announcer"), QPoint(125, 125), 30000);
    QVERIFY(stage->act("appeardelta-5&&x", "Announcer"));   // a non-number counts as 10
    QTRY_COMPARE_WITH_TIMEOUT(stage->position("Announcer"), QPoint(120, 135), 30000);
    // A stage that goes while a move waits for the idle flag takes the move with it.
    QVERIFY(stage->act("movetodelta25", "Announcer"));
    QCOMPARE(PendingWaits(), 1);
    delete stage;
    stage = new AgentStage(raceScreen);
    QTRY_COMPARE(PendingWaits(), 0);
}

void TestStage::idleAndClicksFollowTheControl()
{
    // The flag follows the control's idle notifications; a load clears it.
    agent::AgentControl &control = stage->control();
    emit control.idleStart("Announcer");
    QVERIFY(stage->idle());
    emit control.idleComplete("Announcer");
    QVERIFY(!stage->idle());
    emit control.idleStart("Announcer");
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, false, "Announcer"));
    QVERIFY(!stage->idle());
    // Clicks go to the handler installed, with everything the control tells.
    emit control.click("Announcer", 1, 0, 5, 6);   // none yet: nothing
    QStringList clicks;
    stage->onClick([&clicks](const QString &identity, int button, int shift, int x, int y) {
        clicks << QString("%1 %2 %3 %4 %5").arg(identity).arg(button).arg(shift).arg(x).arg(y);
    });
    emit control.click("Announcer", 2, 4, 5, 6);
    QCOMPARE(clicks, QStringList{"Announcer 2 4 5 6"});
}

void TestStage::soundEffectWithMissingFileDoesNothing()
{
    QVERIFY(stage->load(10, ProgramFolder() + "Announcer.acs", false, true, "Announcer"));
    stage->show(true, "Announcer");
    waitForQueue("Announcer");
    // A missing sound file queues nothing for the character.
    QVERIFY(stage->act("sfxno-such-sound.wav=whatever", "Announcer"));
    QVERIFY(character("Announcer")->queueEmpty());
    // One that exists in the program folder is played through the character.
    QTemporaryDir program;
    QVERIFY(QFile::copy(ProgramFolder() + "Announcer.acs", program.filePath("Announcer.acs")));
    QFile sound(program.filePath("ding.wav"));
    QVERIFY(sound.open(QIODevice::WriteOnly));
    sound.write(agent::sample::wavBytes(8000, 1, 16, 80));
    sound.close();
    const QByteArray programFolder = qgetenv("HOLLYFROST_PROGRAM_FOLDER");
    qputenv("HOLLYFROST_PROGRAM_FOLDER", QFile::encodeName(program.path()));
    QVERIFY(stage->act("sfxding.wav=whatever", "Announcer"));
    qputenv("HOLLYFROST_PROGRAM_FOLDER", programFolder);
    QVERIFY(!character("Announcer")->queueEmpty());
    waitForQueue("Announcer");
}

void TestStage::characterFileListing()
{
    const QStringList files = QDir(library).entryList({"*.acs"}, QDir::Files, QDir::Name);
    QCOMPARE(CountCharacterFiles(), files.size());
    QCOMPARE(NthCharacterFile(1), files.first());
    QCOMPARE(NthCharacterFile(files.size() + 5), files.last());   // past the end: the last one
    for (int i = 0; i < 20; ++i)
        QVERIFY(files.contains(RandomCharacterFile(random)));

    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkpath("msagent/chars"));
    qputenv("WINDIR", folder.path().toLocal8Bit());
    QCOMPARE(NthCharacterFile(1), QString());
    auto add = [&](const QString &name) {
        QFile file(folder.path() + "/msagent/chars/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    };
    add("One.acs");
    add("Random Two.acs");
    QCOMPARE(RandomCharacterFile(random), QString());   // fewer than three files
    add("RANDOM three.acs");
    QCOMPARE(RandomCharacterFile(random), QString("One.acs"));
    QFile::remove(folder.path() + "/msagent/chars/One.acs");
    add("random four.acs");
    QCOMPARE(RandomCharacterFile(random), QString());   // every name holds "random": no endless search
    // A FIFO named like a character file is no character: listing it would let the
    // reader wait for a writer for ever.
    QCOMPARE(::mkfifo(QFile::encodeName(folder.path() + "/msagent/chars/Aa pipe.acs").constData(), 0600), 0);
    QCOMPARE(CountCharacterFiles(), 3);
    QCOMPARE(NthCharacterFile(1), QString("RANDOM three.acs"));
    QVERIFY(!stage->load(10, folder.path() + "/msagent/chars/Aa pipe.acs", false, false, "Player3"));
}

void TestStage::pickAlternativeAndRespelling()
{
    QCOMPARE(PickAlternative(random, "plain text"), QString("plain text"));
    QMap<QString, int> seen;
    for (int i = 0; i < 3000; ++i)
        ++seen[PickAlternative(random, "a|b|c")];
    QCOMPARE(seen.keys(), (QStringList{"a", "b", "c"}));
    for (int count : seen)
        QVERIFY(count > 800 && count < 1200);
    seen.clear();
    for (int i = 0; i < 200; ++i)
        ++seen[PickAlternative(random, "a|")];
    QCOMPARE(seen.keys(), (QStringList{"", "a"}));
    QCOMPARE(RespelledText("Welcome to Hollyfrost and HOLLY!"),
             QString("Welcome to \\map=\"Hahlee\"=\"Holly\"\\frost and \\map=\"Hahlee\"=\"Holly\"\\!"));
}

QTEST_MAIN(TestStage)
#include "tst_stage.moc"
