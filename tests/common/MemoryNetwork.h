// A network in memory for the tests: copies of the game in one process, each with a port
// at its own address. A datagram arrives 1 ms of game time after it was sent, in the
// order sent, through the same repeat filter as the game port's, and is handed to the
// port's receiver (its copy's dispatcher). A port may lose every nth datagram sent to it.
#pragma once

#include "GameTransport.h"
#include "Transport.h"
#include "Waits.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>

class MemoryNetwork
{
public:
    using Receiver = std::function<void(const QString &address, const QString &text)>;

    class Port final : public Transport
    {
    public:
        Port(MemoryNetwork &network, QString address) : network_(network), address_(std::move(address))
        {
            network_.ports_.insert(address_, this);
        }
        ~Port() override { network_.ports_.remove(address_); }

        void receiveWith(Receiver receiver) { receiver_ = std::move(receiver); }
        // Every nth datagram sent to this port is lost (0: none is).
        void loseEvery(int n) { lossEvery_ = n; }
        int lost() const { return lost_; }

        bool sendText(const QString &to, const QString &text) override { return network_.carry(address_, to, text); }
        void forgetRepeats() override { filter_ = RepeatFilter(); }

    private:
        friend class MemoryNetwork;
        void take(const QString &from, const QString &text)
        {
            if (lossEvery_ > 0 && ++sentHere_ % lossEvery_ == 0) {
                ++lost_;
                return;
            }
            if (receiver_ && filter_.accept(from, text, GameClock().nowMs()))
                receiver_(from, text);
        }

        MemoryNetwork &network_;
        QString address_;
        Receiver receiver_;
        RepeatFilter filter_;
        int lossEvery_ = 0;
        int sentHere_ = 0;
        int lost_ = 0;
    };

    ~MemoryNetwork() { *alive_ = false; }

private:
    // A datagram to an address no port has goes nowhere, as on the wire.
    bool carry(const QString &from, const QString &to, const QString &text)
    {
        if (to.isEmpty())
            return false;
        GameClock().after(1, [this, alive = alive_, from, to, text] {
            if (!*alive)
                return;
            if (Port *port = ports_.value(to))
                port->take(from, text);
        });
        return true;
    }

    QHash<QString, Port *> ports_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
