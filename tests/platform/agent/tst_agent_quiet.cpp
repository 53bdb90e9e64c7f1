#include "Agent.h"
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

QTEST_MAIN(TestAgentQuiet)
#include "tst_agent_quiet.moc"
