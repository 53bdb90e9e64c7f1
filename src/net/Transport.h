// The network as the game sees it: datagrams to the game port of an address, and the
// acknowledgements ("AK") that come back. main hands the game one (GameTransport, the
// game port's socket); the tests hand an in-memory network.
#pragma once

#include "Messages.h"

#include <QList>
#include <QString>

class AckWait;

class Transport
{
public:
    Transport() = default;
    virtual ~Transport();
    Transport(const Transport &) = delete;
    Transport &operator=(const Transport &) = delete;

    // One datagram of text to the game port of address; false when it did not go (an
    // empty address or one that is not dotted IPv4 sends nothing).
    virtual bool sendText(const QString &address, const QString &text) = 0;
    // One datagram of text to another port of address (the messenger's, or 80); a
    // network without one sends nothing there.
    virtual bool sendToPort(const QString &, quint16, const QString &) { return false; }
    // The messenger's port on every copy (the parameter file's); 0 for a network without one.
    virtual quint16 messengerPort() { return 0; }
    // Forgets the last datagram taken, so that nothing of a game left behind counts as a
    // repeat.
    virtual void forgetRepeats() {}

    // The message, with this player's speech name as its sender, to the game port of
    // address. An empty address (a contestant run here) sends nothing.
    bool send(const QString &address, const Message &message);
    // The same for a text already made: code + this player's speech name + payload (which
    // starts with "&&" when it has fields).
    bool send(const QString &code, const QString &address, const QString &payload);
    // The message, with this player's speech name, to another port of address.
    bool sendToPort(const Message &message, const QString &address, quint16 port);

    // Called by the dispatcher for every "AK" that arrives: the waits on its address end.
    void noteAcknowledgement(const QString &from);

private:
    friend class AckWait;
    QList<AckWait *> ackWaits_;   // the waits in progress, innermost last
};

// A wait for an "AK" from one address. Made before the message it waits on is sent, it
// notes every "AK" from that address that the dispatcher takes while it lives; an "AK"
// from any other address does not end it, so that a stranger cannot cut a report's
// resends short. Several sequences may wait at once (a report's resends, a question
// round's): each keeps its own note. Once the transport is gone nothing arrives.
class AckWait
{
public:
    AckWait(Transport &transport, const QString &from);
    ~AckWait();
    AckWait(const AckWait &) = delete;
    AckWait &operator=(const AckWait &) = delete;
    bool arrived() const { return arrivedFlag; }

private:
    friend class Transport;
    Transport *transport;
    QString address;
    bool arrivedFlag = false;
};
