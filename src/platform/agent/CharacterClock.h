// One timer for every character of a control. Each character tells the clock when it next
// needs to run (a frame change, a glide step, the end of speech, idling); the clock wakes
// at the earliest of those times and runs every character due then, in one turn of the
// event loop: characters due together cost one wake-up, and the X requests they make
// leave in one write at the end of the turn. Its time is shared by the characters, so
// their glide steps can fall on one beat. A character due up to 3 ms after a wake-up
// (a sixth of a screen refresh) runs in that turn too, the clock reading that much
// ahead while it runs them: characters due close together cost one wake-up, which
// costs the program more than what they draw, and frames still keep their own pace
// (each is due from the one before, not from when it was shown).
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <climits>
#include <functional>
#include <vector>

namespace agent::detail {

class CharacterClock
{
public:
    static constexpr qint64 kNever = LLONG_MAX;

    CharacterClock();
    CharacterClock(const CharacterClock &) = delete;
    CharacterClock &operator=(const CharacterClock &) = delete;

    // Milliseconds since the clock started; while it runs the characters, the time of
    // that turn (a few milliseconds ahead, see above).
    qint64 now() const { return firing_ ? turn_ : elapsed_.elapsed(); }
    // Microseconds since the clock started, always as it is.
    qint64 nowUs() const { return elapsed_.nsecsElapsed() / 1000; }

    // |key| runs |tick| when due; it is not due until wakeAt says when.
    void add(const void *key, std::function<void()> tick);
    void remove(const void *key);
    // Runs |key|'s tick at |at| (clock milliseconds; at once when past; kNever: not at all).
    void wakeAt(const void *key, qint64 at);

private:
    void fire();
    void arm(qint64 at);

    struct Entry
    {
        const void *key;
        std::function<void()> tick;
        qint64 at;
    };
    std::vector<Entry> entries_;
    QTimer timer_;
    QElapsedTimer elapsed_;
    qint64 aheadMs_;               // how far ahead a turn reads (time scaled)
    qint64 turn_ = 0;              // the time of the turn running
    qint64 armedFor_ = kNever;
    bool firing_ = false;
};

} // namespace agent::detail
