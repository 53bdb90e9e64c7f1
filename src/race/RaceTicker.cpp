#include "RaceTicker.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QScopedValueRollback>

#include <memory>

namespace {
constexpr int TickMs = 250;
}

RaceTicker::~RaceTicker()
{
    *alive_ = false;
}

void RaceTicker::start()
{
    active_ = true;
    ++generation_;
    schedule();
}

void RaceTicker::stop()
{
    active_ = false;
    ++generation_;
}

void RaceTicker::schedule()
{
    GameClock().after(TickMs, [this, alive = alive_, generation = generation_] {
        if (*alive && active_ && generation == generation_)
            tickNow();
    });
}

void RaceTicker::tickNow()
{
    stop();
    Launch(tick());
}

Task<> RaceTicker::tick()
{
    // However the tick ends (a step's error included), the next one runs and a start
    // asked for meanwhile follows.
    const std::shared_ptr<bool> alive = alive_;   // the ticker may go while the tick waits
    const auto next = qScopeGuard([this, alive] {
        if (!*alive)
            return;
        start();
        after_();   // "Start Game" pressed while this tick waited
    });
    const QScopedValueRollback<bool> ticking(ticking_, true);
    if (timed) {
        const bool waits = waits_();
        QElapsedTimer clock;
        clock.start();
        co_await step_();
        if (*alive && timed)
            timed(clock.nsecsElapsed() / 1000, waits);
    } else {
        co_await step_();
    }
}
