#include "Agent.h"
#include "CharacterClock.h"
#include "SampleCharacter.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using namespace agent;

// Characters that wait (for the end of a sentence, a frame, an idle time) must sleep in
// the event loop, not spin it. Runs at real speed: a spinning wait shows as busy time.
class TestAgentQuiet : public QObject
{
    Q_OBJECT
private slots:
    void speakingWithoutBalloonSleeps();
    void charactersDueTogetherShareAWakeUp();
};

static double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

void TestAgentQuiet::speakingWithoutBalloonSleeps()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("Pip.acs");
    QCOMPARE(sample::writeSampleCharacter(file), QString());
    AgentControl control;
    Character *pip = control.load("Pip", file);
    pip->setBalloonStyle(0x0220000E);   // balloon off, as the game loads every character
    pip->show(true);
    QTRY_VERIFY(pip->queueEmpty());
    pip->speak("Here we go, one more time around the track, everybody!");
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = threadCpuSeconds();
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 20000);
    const double busy = (threadCpuSeconds() - cpuBefore) / (wall.elapsed() / 1000.0);
    QVERIFY2(wall.elapsed() > 1000, "the sentence takes its spoken length");
    QVERIFY2(busy < 0.3, qPrintable(QString("busy %1 of the wait").arg(busy)));
}

// Two characters due 2 ms apart run in one turn of the clock, neither before the first
// was due; one due well later runs in a turn of its own.
void TestAgentQuiet::charactersDueTogetherShareAWakeUp()
{
    detail::CharacterClock clock;
    const int first = 0, second = 0;
    QList<qint64> turns;   // the clock's time as each tick ran
    clock.add(&first, [&] { turns << clock.now(); });
    clock.add(&second, [&] { turns << clock.now(); });
    const qint64 start = clock.now();
    clock.wakeAt(&first, start + 20);
    clock.wakeAt(&second, start + 22);
    QTRY_COMPARE(turns.size(), 2);
    QCOMPARE(turns[0], turns[1]);
    QVERIFY(turns[0] >= start + 20);

    const qint64 later = clock.now();
    clock.wakeAt(&first, later + 20);
    clock.wakeAt(&second, later + 60);
    QTRY_COMPARE(turns.size(), 4);
    QVERIFY(turns[2] >= later + 20);
    QVERIFY(turns[3] >= later + 60);
    QVERIFY(turns[3] > turns[2]);
}

QTEST_MAIN(TestAgentQuiet)
#include "tst_agent_quiet.moc"
