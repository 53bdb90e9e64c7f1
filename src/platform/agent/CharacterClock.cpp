#include "CharacterClock.h"

#include "AgentTime.h"
#include "X11Display.h"

#include <algorithm>

namespace agent::detail {

namespace {

constexpr double kAheadMs = 3;   // a sixth of a refresh at 60 Hz

} // namespace

CharacterClock::CharacterClock() : aheadMs_(qint64(kAheadMs * timeScale()))
{
    timer_.setSingleShot(true);
    // Frames are due to the millisecond; a coarse timer may fire 5 % of the wait late.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
    elapsed_.start();
}

void CharacterClock::add(const void *key, std::function<void()> tick)
{
    entries_.push_back({key, std::move(tick), kNever});
}

void CharacterClock::remove(const void *key)
{
    std::erase_if(entries_, [key](const Entry &e) { return e.key == key; });
}

void CharacterClock::wakeAt(const void *key, qint64 at)
{
    const auto found = std::find_if(entries_.begin(), entries_.end(), [key](const Entry &e) { return e.key == key; });
    if (found == entries_.end())
        return;
    found->at = at;
    // While firing, the timer is set once at the end; a later time than the one set
    // leaves the timer as it is (it finds nothing due then and sets itself again).
    if (!firing_ && at < armedFor_)
        arm(at);
}

void CharacterClock::arm(qint64 at)
{
    armedFor_ = at;
    if (at == kNever) {
        timer_.stop();
        return;
    }
    // Due by the last turn's time (woken during it): at once.
    timer_.start(at <= turn_ ? 0 : int(std::clamp<qint64>(at - now(), 0, INT_MAX)));
}

void CharacterClock::fire()
{
    const qint64 due = elapsed_.elapsed() + aheadMs_;
    const X11Display::Batch batch;   // one write for everything the characters send now
    turn_ = due;
    firing_ = true;
    std::vector<const void *> keys;
    for (const Entry &e : entries_)
        if (e.at <= due)
            keys.push_back(e.key);
    // A tick may load, unload or wake other characters: each key is looked up again.
    for (const void *key : keys) {
        const auto found = std::find_if(entries_.begin(), entries_.end(), [key](const Entry &e) { return e.key == key; });
        if (found == entries_.end() || found->at > due)
            continue;
        found->at = kNever;
        const std::function<void()> tick = found->tick;   // the entry may move meanwhile
        tick();
    }
    firing_ = false;
    qint64 next = kNever;
    for (const Entry &e : entries_)
        next = std::min(next, e.at);
    arm(next);
}

} // namespace agent::detail
