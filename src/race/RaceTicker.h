// The race's clock: a tick every 250 ms of game time moves one contestant, runs the
// commentary and, after a race, counts down to the goodbye, the unload and the end of the
// program, then steps the dexterity test (the race's step). A tick that waits (the
// commentary, the goodbye and unload steps) holds the next one back, so ticks never
// overlap; a "Start Game" pressed meanwhile starts once the tick is over.
#pragma once

#include "Waits.h"

#include <QtGlobal>

#include <functional>
#include <memory>
#include <utility>

class RaceTicker
{
public:
    // step: the race's share of a tick; after: what follows every tick (a start asked
    // for while the tick waited); ticking: set while a tick runs; waits: the tick about
    // to run waits on purpose (for the tick log).
    RaceTicker(std::function<Task<>()> step, std::function<void()> after, bool &ticking, std::function<bool()> waits)
        : step_(std::move(step)), after_(std::move(after)), ticking_(ticking), waits_(std::move(waits))
    {
    }
    ~RaceTicker();
    RaceTicker(const RaceTicker &) = delete;
    RaceTicker &operator=(const RaceTicker &) = delete;

    // Ticks from 250 ms from now on; stop() ends the ticking (a tick under way finishes).
    void start();
    void stop();
    bool isActive() const { return active_; }
    // One tick now (the ticking stops meanwhile and resumes after it).
    void tickNow();

    // Sees each tick's wall time in microseconds, and whether the tick waited on purpose
    // (the commentary, the goodbye and unload steps): the race benchmark's tick log.
    std::function<void(qint64 microseconds, bool waited)> timed;

private:
    void schedule();
    Task<> tick();

    std::function<Task<>()> step_;
    std::function<void()> after_;
    bool &ticking_;
    std::function<bool()> waits_;
    bool active_ = false;
    quint64 generation_ = 0;   // a scheduled tick of an earlier start() or stop() does nothing
    // Shared with the clock's pending calls, which may outlive the ticker.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
