#include "Waits.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <exception>
#include <map>
#include <memory>

namespace {

// The program's waits and its end: one per process, since the end of the program must
// end every wait of every sequence, whoever started it.
struct ProgramWaits {
    // The waits in progress by number: a timer resumes its own wait unless EndAllWaits
    // took it first.
    std::map<quint64, std::coroutine_handle<>> pending;
    quint64 lastNumber = 0;
    // The end of the program: asked for, and how long it is held for a last send.
    bool endAsked = false;
    QDeadlineTimer heldUntil;
} program;

// Qt's timers on the application object, which outlives the windows, and the system's
// monotonic time: it keeps nothing of its own.
class SystemClock : public Clock
{
public:
    void after(int ms, std::function<void()> done) override
    {
        QTimer::singleShot(ScaledInterval(ms), Qt::PreciseTimer, QCoreApplication::instance(), std::move(done));
    }
    qint64 nowMs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// The clock every wait and game timer counts on: the system's, unless a test handed in
// its own (UseClock). One per process, as the waits it serves.
struct {
    SystemClock system;
    Clock *chosen = &system;
} clockInUse;

void resume(quint64 id)
{
    const auto found = program.pending.find(id);
    if (found == program.pending.end())
        return;
    const std::coroutine_handle<> waiting = found->second;
    program.pending.erase(found);
    waiting.resume();
}

Task<> quietly(Task<> sequence)
{
    try {
        co_await std::move(sequence);
    } catch (const SequenceEnded &) {
        // the program is ending: the sequence has unwound, nothing else to do
    } catch (const std::exception &error) {
        qCritical("A game sequence ended on an error: %s", error.what());
    }
}

} // namespace

Clock &GameClock()
{
    return *clockInUse.chosen;
}

void UseClock(Clock *clock)
{
    clockInUse.chosen = clock ? clock : &clockInUse.system;
}

double TimeScale()
{
    static const double scale = [] {
        bool ok = false;
        const double value = qEnvironmentVariable("HOLLYFROST_TIME_SCALE").toDouble(&ok);
        return (ok && value > 0.0 && std::isfinite(value)) ? value : 1.0;
    }();
    return scale;
}

int ScaledInterval(int ms)
{
    if (ms <= 0)
        return 0;
    const double scaled = std::round(ms * TimeScale());
    if (scaled < 1.0)
        return 1;
    return scaled > 2e9 ? 2000000000 : static_cast<int>(scaled);
}

void TerminateApplication()
{
    if (QCoreApplication *app = QCoreApplication::instance()) {
        // The waits end first, so that every sequence has unwound when the loop returns;
        // the loop itself returns once a last send held for has gone out.
        if (!program.endAsked)
            QMetaObject::invokeMethod(app, &EndAllWaits, Qt::QueuedConnection);
        const qint64 held = program.heldUntil.remainingTime();
        if (held > 0)
            QTimer::singleShot(held, Qt::PreciseTimer, app, &QCoreApplication::quit);
        else
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    program.endAsked = true;
}

bool ApplicationTerminating()
{
    return program.endAsked;
}

void HoldTermination(int ms)
{
    const QDeadlineTimer until(ScaledInterval(ms), Qt::PreciseTimer);
    if (until.deadlineNSecs() > program.heldUntil.deadlineNSecs())
        program.heldUntil = until;
}

WhenDone::WhenDone(std::function<void(std::function<void()>)> start) : start_(std::move(start))
{
}

bool WhenDone::await_ready() const noexcept
{
    return ApplicationTerminating();
}

bool WhenDone::await_suspend(std::coroutine_handle<> waiting)
{
    const quint64 id = ++program.lastNumber;
    program.pending.emplace(id, waiting);
    // done() called from inside start(): the wait is over before it began.
    auto doneAtOnce = std::make_shared<bool>(false);
    auto starting = std::make_shared<bool>(true);
    // A done() called more than once (two signals at once) counts once: the first call
    // takes the wait off the list, so a later one finds nothing to end or resume.
    start_([id, doneAtOnce, starting] {
        if (!*starting)
            resume(id);
        else if (program.pending.erase(id) > 0)
            *doneAtOnce = true;
    });
    *starting = false;
    return !*doneAtOnce;
}

void WhenDone::await_resume() const
{
    if (ApplicationTerminating())
        throw SequenceEnded();
}

Wait::Wait(int ms)
    : WhenDone([ms](std::function<void()> done) { GameClock().after(ms, std::move(done)); }),
      ms_(ms)
{
}

bool Wait::await_ready() const noexcept
{
    return ms_ == 0 || ApplicationTerminating();
}

Task<bool> AnswerOf(Dialogs &dialogs, const QString &question)
{
    auto yes = std::make_shared<bool>(false);   // outlives this frame if the program ends first
    const auto ask = [&dialogs, question, yes](std::function<void()> done) {
        dialogs.ask(question, [yes, done = std::move(done)](bool answer) {
            *yes = answer;
            done();
        });
    };
    co_await WhenDone(ask);
    co_return *yes;
}

Task<> Acknowledged(Dialogs &dialogs, BoxKind kind, const QString &text)
{
    const auto show = [&dialogs, kind, text](std::function<void()> done) { dialogs.show(kind, text, std::move(done)); };
    co_await WhenDone(show);
}

Task<bool> WaitUntil(std::function<bool()> done, int stepMs, int polls)
{
    for (int poll = 0; poll < polls && !done(); ++poll)
        co_await Wait(stepMs);
    co_return done();
}

void Launch(Task<> sequence)
{
    quietly(std::move(sequence));   // the task is dropped: it runs on by itself and frees itself
}

void EndAllWaits()
{
    while (!program.pending.empty())
        resume(program.pending.begin()->first);
}

int PendingWaits()
{
    return static_cast<int>(program.pending.size());
}
