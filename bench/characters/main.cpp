// Benchmark of the character platform: COUNT characters animating and gliding about the
// screen without a pause for a given number of seconds. Prints the process's CPU use
// (from /proc/self/stat, as a percentage of one core), with BENCH_XSERVER_PID and
// BENCH_COMPOSITOR_PID also the X server's and the compositing manager's over the same
// time, its peak resident memory and how long each character file took to load; with
// HOLLYFROST_BENCH_FRAMES set, also the glide steps, frame changes and first showings of
// a picture per second, the game's CPU time spent in each, and all the game's CPU time
// (event loop and all) per glide step or frame change, first showings left out. The
// measurement starts after BENCH_WARMUP
// seconds (default 0.5): a longer warm-up leaves out the first showing of each frame
// picture (decoding it once), which a character pays only once per picture.
//
//   hf_bench_characters SECONDS COUNT [character files...]
//
// The files are loaded in turn (the n-th character from file n modulo their number).
// Without files it writes the small sample character (112 x 128) and loads that. COUNT 0
// shows the program's floor: the toolkit with no character. Run it through run.sh
// (under Xvfb).
#include "Agent.h"
#include "FrameLog.h"
#include "SampleCharacter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// utime + stime of a process (this one by default) in clock ticks.
long long cpuTicks(const QString &process = QStringLiteral("self"))
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name (which may hold spaces) start after the last ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();   // fields 14 and 15 of stat
}

// CPU time of this process in nanoseconds (finer than the clock ticks of /proc).
qint64 processCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// What the character platform counted over the measurement.
void printWork(const agent::detail::BenchTotals &start, const agent::detail::BenchTotals &end, qint64 cpuNs,
               double seconds)
{
    using agent::detail::BenchWork;
    const char *names[] = {"glide_steps", "frame_changes", "first_showings"};
    qint64 counts[3], spentNs[3];
    for (int i = 0; i < 3; ++i) {
        counts[i] = end.count[i] - start.count[i];
        spentNs[i] = end.cpuNs[i] - start.cpuNs[i];
        std::printf("%s_per_s %.1f\n%s_us %.1f\n", names[i], double(counts[i]) / seconds, names[i],
                    counts[i] ? double(spentNs[i]) / 1000.0 / double(counts[i]) : 0.0);
    }
    const qint64 moves = counts[int(BenchWork::GlideStep)] + counts[int(BenchWork::FrameChange)];
    const qint64 steady = cpuNs - spentNs[int(BenchWork::FirstShowing)];
    std::printf("steady_cpu_percent %.2f\n", 100.0 * double(steady) / 1e9 / seconds);
    if (moves)
        std::printf("all_us_per_step_or_frame %.1f\n", double(steady) / 1000.0 / double(moves));
}

long long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

const QStringList kAnimations = {"greet", "wave", "pleased", "cheer", "congratulate", "gestureleft",
                                 "lookleft", "lookright", "lookup", "lookdown", "blink", "alert",
                                 "surprised", "idle_1", "postcall", "startgate"};

} // namespace

int main(int argc, char **argv)
{
    // The event loop the game runs on (src/main.cpp): Qt's own, not glib's.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const int seconds = args.isEmpty() ? 20 : qMax(1, args.first().toInt());
    const int count = args.size() < 2 ? 7 : qBound(0, args.at(1).toInt(), 1000);
    QStringList files = args.mid(2);
    QTemporaryDir dir;
    if (files.isEmpty()) {
        const QString path = dir.filePath(QStringLiteral("Sample.acs"));
        const QString error = agent::sample::writeSampleCharacter(path, QStringLiteral("Sample"), 112, 128);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "cannot write the sample character: %s\n", qPrintable(error));
            return 1;
        }
        files << path;
    }

    agent::AgentControl control;
    QList<agent::Character *> characters;
    QList<double> loadMs;
    try {
        for (int i = 0; i < count; ++i) {
            QElapsedTimer loading;
            loading.start();
            characters << control.load(QStringLiteral("Player%1").arg(i), files[i % files.size()]);
            loadMs << double(loading.nsecsElapsed()) / 1e6;
        }
    } catch (const agent::AgentError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }

    const QRect area = app.primaryScreen()->availableGeometry();
    auto *random = QRandomGenerator::global();
    auto keepBusy = [&](agent::Character *c) {
        if (!c->queueEmpty())
            return;
        const int x = area.left() + random->bounded(qMax(1, area.width() - c->width()));
        const int y = area.top() + random->bounded(qMax(1, area.height() - c->height()));
        c->moveTo(x, y, 1500 + random->bounded(1500));
        try {
            c->play(kAnimations[random->bounded(int(kAnimations.size()))]);
        } catch (const agent::AgentError &) {
            // a character file without that animation: it just moves
        }
    };
    QObject::connect(&control, &agent::AgentControl::requestComplete, &app, [&] {
        for (agent::Character *c : characters)
            keepBusy(c);
    });
    for (agent::Character *c : characters) {
        c->setIdleOn(true);
        c->show(true);
        keepBusy(c);
    }

    // Measure after loading and the first frames, or after a longer warm-up.
    bool warmupSet = false;
    const double warmupSeconds = qEnvironmentVariable("BENCH_WARMUP").toDouble(&warmupSet);
    const QString xserver = qEnvironmentVariable("BENCH_XSERVER_PID");
    const QString compositor = qEnvironmentVariable("BENCH_COMPOSITOR_PID");
    long long startTicks = 0, xserverStartTicks = 0, compositorStartTicks = 0;
    qint64 startCpuNs = 0;
    agent::detail::BenchTotals startWork;
    QElapsedTimer wall;
    QTimer::singleShot(warmupSet ? qBound(0, int(warmupSeconds * 1000), 3600000) : 500, &app, [&] {
        startTicks = cpuTicks();
        startCpuNs = processCpuNs();
        startWork = agent::detail::benchTotals();
        if (!xserver.isEmpty())
            xserverStartTicks = cpuTicks(xserver);
        if (!compositor.isEmpty())
            compositorStartTicks = cpuTicks(compositor);
        wall.start();
        QTimer::singleShot(seconds * 1000, &app, [&] {
            const double wallSeconds = double(wall.elapsed()) / 1000.0;
            auto percentSince = [&](long long ticks, long long start) {
                return 100.0 * double(ticks - start) / double(sysconf(_SC_CLK_TCK)) / wallSeconds;
            };
            std::printf("cpu_percent %.2f\npeak_rss_kb %lld\n", percentSince(cpuTicks(), startTicks), peakRssKb());
            if (!xserver.isEmpty())
                std::printf("xserver_cpu_percent %.2f\n", percentSince(cpuTicks(xserver), xserverStartTicks));
            if (!compositor.isEmpty())
                std::printf("compositor_cpu_percent %.2f\n", percentSince(cpuTicks(compositor), compositorStartTicks));
            if (agent::detail::frameLogEnabled() && count > 0)
                printWork(startWork, agent::detail::benchTotals(), processCpuNs() - startCpuNs, wallSeconds);
            if (!loadMs.isEmpty()) {
                std::sort(loadMs.begin(), loadMs.end());
                std::printf("load_ms_median %.2f\nload_ms_worst %.2f\n", loadMs[loadMs.size() / 2], loadMs.last());
            }
            std::fflush(stdout);
            app.quit();
        });
    });
    return app.exec();
}
