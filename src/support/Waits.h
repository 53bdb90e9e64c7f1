// The game's sequences (a race, a question round, resends, a play request) are C++20
// coroutines: each wait is a step that returns to the event loop, never a nested loop.
//
//   co_await Wait(2000);          // 2000 ms of game time (scaled by the time scale)
//   co_await WaitUntil(done, 50, 100);   // polls every 50 ms, at most 100 times
//
// A lambda written inside a co_await expression is destroyed twice by GCC 12: name it
// first (const auto done = [...] {...}; co_await WaitUntil(done, ...)).
//
// Once the program is ending, every pending wait ends at once and throws SequenceEnded,
// so that each sequence unwinds from its next step; Launch() catches it at the top.
#pragma once

#include "Dialogs.h"

#include <QCoroTask>

#include <coroutine>
#include <functional>

template<typename T = void>
using Task = QCoro::Task<T>;

// The time scale of HOLLYFROST_TIME_SCALE (default 1). Every wait and timer interval of
// the game goes through ScaledInterval so that tests can run a whole race in seconds.
double TimeScale();
int ScaledInterval(int ms);

// The time every wait and game timer counts in. The program runs on the system's clock
// (Qt's timers, intervals scaled by the time scale); a test may hand the game a clock of
// its own that runs virtual time (UseClock), so that a whole race takes no wall time.
class Clock
{
public:
    virtual ~Clock() = default;
    // Calls done once, ScaledInterval(ms) milliseconds from now.
    virtual void after(int ms, std::function<void()> done) = 0;
    // A monotonic time in the same milliseconds.
    virtual qint64 nowMs() const = 0;
};
// The clock the game uses; UseClock(nullptr) goes back to the system's.
Clock &GameClock();
void UseClock(Clock *clock);

// Asks the application to end once control returns to its event loop (also when the
// loop has not started yet); every pending wait ends first. ApplicationTerminating()
// tells whether that was asked.
void TerminateApplication();
bool ApplicationTerminating();
// A last step that must still happen after the end is asked for (the second of two
// datagrams, sent by a plain timer in ms of game time): the event loop returns only
// after it, at most ms later. The waits still end at once.
void HoldTermination(int ms);

// Thrown from a wait once the program is ending.
struct SequenceEnded
{
};


// Waits for an operation that reports its end through a callback: start(done) begins it
// and calls done() once, at once or later (a box answered, a signal come).
class WhenDone
{
public:
    explicit WhenDone(std::function<void(std::function<void()> done)> start);
    bool await_ready() const noexcept;
    bool await_suspend(std::coroutine_handle<> waiting);
    void await_resume() const;

private:
    std::function<void(std::function<void()>)> start_;
};

// ms milliseconds of game time; Wait(0) does not suspend.
class Wait : public WhenDone
{
public:
    explicit Wait(int ms);
    bool await_ready() const noexcept;

private:
    int ms_;
};

// The Yes/No box, awaited: true for Yes.
Task<bool> AnswerOf(Dialogs &dialogs, const QString &question);
// A box with an OK button, awaited until it is closed.
Task<> Acknowledged(Dialogs &dialogs, BoxKind kind, const QString &text);

// Waits until done() holds, polling every stepMs for at most polls polls; true if it holds.
Task<bool> WaitUntil(std::function<bool()> done, int stepMs, int polls);

// Starts a sequence that nobody awaits (from a click, a datagram or a timer): it runs
// to its first wait now and on from the event loop; its end of program is quiet.
void Launch(Task<> sequence);

// Ends every pending wait now (each throws SequenceEnded): the program is ending.
// Called by TerminateApplication and once more after the event loop has returned.
void EndAllWaits();
// Waits not yet ended (for tests).
int PendingWaits();
