// Game time for the tests, on the clock every wait and timer counts on (UseClock).
#pragma once

#include "Waits.h"

#include <QCoreApplication>

#include <functional>
#include <map>

// Game time that runs only when nothing else is left to do: every event waiting is
// handled first (datagrams included), then the clock jumps to the next timer due.
class VirtualClock : public Clock
{
public:
    void after(int ms, std::function<void()> done) override
    {
        due.emplace(now + ScaledInterval(ms), std::move(done));
    }
    qint64 nowMs() const override { return now; }

    // Runs until finished() holds; false once limitMs of game time went by without it.
    bool runUntil(const std::function<bool()> &finished, qint64 limitMs)
    {
        for (;;) {
            settle();
            if (finished())
                return true;
            if (due.empty() || due.begin()->first > limitMs)
                return false;
            const auto next = due.begin();
            now = next->first;
            const std::function<void()> call = std::move(next->second);
            due.erase(next);
            call();
        }
    }
    // Runs every timer due within the next ms of game time, then lets that time pass.
    void runFor(int ms)
    {
        const qint64 until = now + ScaledInterval(ms);
        runUntil([] { return false; }, until);
        now = until;
        settle();
    }

private:
    // A datagram sent on loopback is readable at once; its answer needs another turn.
    static void settle()
    {
        for (int turn = 0; turn < 8; ++turn)
            QCoreApplication::processEvents();
    }

    qint64 now = 0;
    std::multimap<qint64, std::function<void()>> due;   // equal times in the order asked
};
