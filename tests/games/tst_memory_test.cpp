// The memory test's rules with no window, on a clock of the test's own: the playback's
// timing, the entries and their cap, Ready and Re-Memorize, a wrong entry clearing, and a
// flood of tests or a test gone in the middle of its playback.
#include "GameParts.h"
#include "GameSession.h"
#include "MemoryTest.h"
#include "QuestionRound.h"
#include "RaceModel.h"
#include "Roster.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace {

// Game time that passes only when the test says so; intervals in unscaled milliseconds.
class TestClock : public Clock
{
public:
    void after(int ms, std::function<void()> done) override { due.emplace(now + ms, std::move(done)); }
    qint64 nowMs() const override { return now; }
    // Runs every call due within the next ms, in order, then lets that time pass.
    void runFor(qint64 ms)
    {
        const qint64 until = now + ms;
        while (!due.empty() && due.begin()->first <= until) {
            const auto next = due.begin();
            now = next->first;
            const std::function<void()> call = std::move(next->second);
            due.erase(next);
            call();
        }
        now = until;
    }

private:
    qint64 now = 0;
    std::multimap<qint64, std::function<void()>> due;
};

QString circles(const MemoryTest &test)
{
    QString shown;
    for (int i = 0; i < test.circlesShown(); ++i)
        shown += test.circle(i).isNull() ? u'-' : test.circle(i);
    return shown;
}

} // namespace

class TestMemoryTest : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    TestClock clock;
    GameParts game;
    QuestionRound questions{game.session, game.roster, game.settings, game.stage, game.dialogs, game.dispatcher};
    MemoryTest test{questions, clock};

    // The question round puts a memory test of sequence and the playback runs to its end.
    void playedThrough(const QString &sequence, int number)
    {
        questions.showHere(QStringLiteral("MT&&%1&&%1&&%2").arg(sequence).arg(number));
        clock.runFor(500 + 5 * PaletteSize * 25 + 500 * sequence.size());
    }

private slots:
    void initTestCase()
    {
        qputenv("HOLLYFROST_PROGRAM_FOLDER", folder.path().toLocal8Bit());
        QFile phrases(folder.filePath("stdtalk.lst"));
        QVERIFY(phrases.open(QIODevice::WriteOnly));
        phrases.write("mt1 MEMORIZE\r\nmt2 REPEAT\r\nmt3 WRONG\r\n");
    }
    void init()
    {
        game.roster.reset();
        questions.reset();
        test.close();
        clock.runFor(10000);
    }

    void playbackTimingAndEntries()
    {
        QSignalSpy opened(&test, &MemoryTest::opened);
        questions.showHere(QStringLiteral("MT&&rgb&&rgb&&1"));
        QCOMPARE(opened.size(), 1);
        QVERIFY(test.isOpen() && test.readyShown() && !test.paletteShown());
        QCOMPARE(circles(test), QStringLiteral("---"));
        // Half a second, then five flickers of random colours 25 ms a circle, then the
        // sequence one colour each 500 ms, then the instructions.
        clock.runFor(499);
        QCOMPARE(circles(test), QStringLiteral("---"));
        clock.runFor(1 + 5 * PaletteSize * 25);
        QCOMPARE(circles(test), QStringLiteral("r--"));
        clock.runFor(500);
        QCOMPARE(circles(test), QStringLiteral("rg-"));
        QCOMPARE(test.memo(), QString());
        clock.runFor(1000);
        QCOMPARE(circles(test), QStringLiteral("rgb"));
        QCOMPARE(test.memo(), QStringLiteral("MEMORIZE"));
        // Nothing is entered before "Ready"; after it the circles are silver and take as
        // many entries as the sequence has colours.
        test.enter(3);
        QCOMPARE(test.entries(), QString());
        QVERIFY(!test.canSubmit());
        test.ready();
        QVERIFY(test.paletteShown() && test.clearShown() && test.rememorizeShown() && !test.readyShown());
        QCOMPARE(test.memo(), QStringLiteral("REPEAT"));
        QCOMPARE(circles(test), QStringLiteral("---"));
        for (int index : {0, 1, 3, 2, PaletteSize, -1})
            test.enter(index);
        QCOMPARE(test.entries(), QStringLiteral("bgr"));
        QCOMPARE(circles(test), QStringLiteral("bgr"));
        QVERIFY(test.canSubmit());
        // A wrong order clears the entries and says so; nothing is scored.
        QCOMPARE(test.submit(), AnswerVerdict::Wrong);
        QCOMPARE(test.entries(), QString());
        QCOMPARE(circles(test), QStringLiteral("---"));
        QCOMPARE(test.memo(), QStringLiteral("WRONG\r\nREPEAT"));
        QVERIFY(!test.canSubmit());
        QCOMPARE(test.submit(), AnswerVerdict::Ignored);
        QCOMPARE(game.model.contestants[0].Score, 0);
        // "Clear" forgets the entries; the right order ends the test.
        test.enter(5);
        test.clear();
        QCOMPARE(test.entries(), QString());
        QSignalSpy closed(&test, &MemoryTest::closed);
        for (int index : {3, 1, 0})
            test.enter(index);
        QCOMPARE(test.submit(), AnswerVerdict::Right);
        QCOMPARE(closed.size(), 1);
        QVERIFY(!test.isOpen());
        QCOMPARE(game.model.contestants[0].Score, 1);
    }

    void rememorizeWaitsASecondWithTheEntriesGone()
    {
        game.model.contestants[0].Progress = 24;
        game.model.contestants[0].Score = 2;
        playedThrough(QStringLiteral("kwlac"), 2);
        test.ready();
        for (int index : {5, 6, 7, 8, 9})
            test.enter(index);
        test.rememorize();
        // The whole sequence entered before cannot be submitted while it waits.
        QCOMPARE(test.entries(), QString());
        QCOMPARE(test.circlesShown(), 0);
        QVERIFY(!test.paletteShown() && !test.readyShown());
        QCOMPARE(test.submit(), AnswerVerdict::Ignored);
        clock.runFor(999);
        QCOMPARE(test.circlesShown(), 0);
        clock.runFor(1);
        QCOMPARE(test.circlesShown(), 5);
        QVERIFY(test.readyShown());
        clock.runFor(500 + 5 * PaletteSize * 25 + 5 * 500);
        QCOMPARE(circles(test), QStringLiteral("kwlac"));
        QCOMPARE(game.model.contestants[0].Score, 2);
        // A skip while it waits is taken once: the test stays closed.
        test.ready();
        test.rememorize();
        test.skip();
        QVERIFY(!test.isOpen());
        clock.runFor(5000);
        QVERIFY(!test.isOpen());
        QCOMPARE(game.model.contestants[0].Progress, 12);
        QCOMPARE(game.model.contestants[0].Score, 1);
    }

    void floodPlaysOneSequenceAndAGoneTestStops()
    {
        // A flood of memory questions (a host's, or anyone's) plays one sequence at a
        // time, not one each: the one shown last.
        QString sequence;
        for (int n = 0; n < 1000; ++n) {
            sequence = QString(PaletteLetters.at(n % 10)) + PaletteLetters.at(n / 10 % 10);
            questions.showHere(QStringLiteral("MT&&%1&&%1&&%2").arg(sequence).arg(100 + n));
            QVERIFY(PendingWaits() <= 1);
        }
        clock.runFor(10000);
        QCOMPARE(circles(test), sequence);
        QCOMPARE(test.memo(), QStringLiteral("MEMORIZE"));
        // Another question closes the test and stops its playback.
        questions.showHere(QStringLiteral("MT&&rgb&&rgb&&2000"));
        questions.showHere(QStringLiteral("MS&&5&&8 - 3&&2001"));
        QVERIFY(!test.isOpen());
        clock.runFor(10000);
        QCOMPARE(test.memo(), QString());
        // A test that goes in the middle of its playback or of "Re-Memorize" takes its
        // playback with it.
        questions.reset();
        for (bool replaying : {false, true}) {
            auto going = std::make_unique<MemoryTest>(questions, clock);
            going->start(QStringLiteral("rgb"));
            if (replaying) {
                clock.runFor(5000);
                going->ready();
                going->rememorize();
            }
            QCOMPARE(PendingWaits(), 1);
            going.reset();
            clock.runFor(5000);
            QCOMPARE(PendingWaits(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestMemoryTest)
#include "tst_memory_test.moc"
