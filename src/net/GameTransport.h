// The network window and the datagram transport: the game port's socket, the sends to
// the game port, the messenger port and port 80, the receive path with its size limit
// and repeat filter, and the translation of a typed UIN into an address.
// Created once at start-up, never shown.
#pragma once

#include "DataFiles.h"
#include "Messages.h"
#include "Transport.h"
#include "Waits.h"

#include <QByteArray>
#include <QString>
#include <QObject>

#include <functional>

class QUdpSocket;

// Largest datagram the game takes; a longer one is dropped whole.
constexpr int DatagramBufferSize = 1517;
// Datagrams waiting for the dispatcher at most; more are dropped as a full buffer would.
constexpr int MaxQueuedDatagrams = 256;

// Drops a datagram identical to the previous accepted one from the same address within
// about five seconds (scaled by the time scale). Only the first 255 characters of
// address + text are kept, so a longer one never counts as a repeat. Acknowledgements
// ("AK") always pass and are not stored.
class RepeatFilter
{
public:
    // nowMs: a monotonic clock in milliseconds. True when the datagram is to be dispatched.
    bool accept(const QString &address, const QString &text, qint64 nowMs);
    static qint64 windowMs();

private:
    QString lastDatagram;
    qint64 lastTimeMs = 0;
    bool any = false;
};

// The game port's socket as the game's Transport.
class GameTransport : public QObject, public Transport
{
    Q_OBJECT
public:
    // receiver: what every datagram that passes the size limit and the repeat filter is
    // handed to, one at a time (the game's is its dispatcher, GameMessages.h).
    // parameters: the messenger's, which name the game port; they outlive the transport.
    using Receiver = std::function<void(const QString &address, const QString &text)>;
    GameTransport(Receiver receiver, MessengerParameters &parameters, QObject *parent = nullptr);
    ~GameTransport() override;
    void setReceiver(Receiver receiver) { receive = std::move(receiver); }

    // To the game port (from the game-port socket), and to another port: port 80 from any
    // free local port, the messenger port from that port when it is free.
    bool sendText(const QString &address, const QString &text) override;
    bool sendToPort(const QString &address, quint16 port, const QString &text) override;
    using Transport::sendToPort;
    quint16 messengerPort() override { return parameters.ports().messenger; }
    void forgetRepeats() override { ForgetRepeats(); }

    // (Re)binds the game-port socket on HOLLYFROST_BIND_ADDRESS (else every IPv4
    // address); until then the transport is deaf. At once, or, when the parameter file was never read and the messenger
    // holds it, once it could be read. A failure leaves the game deaf and is not shown.
    void StartListening();
    bool Listening() const;
    // Sends text from the game-port socket, so that the source port is the game port and
    // nothing that arrives meanwhile is lost.
    bool SendFromGamePort(const QByteArray &text, const QString &address, quint16 port);
    // Forgets the last datagram, so that nothing of a game left behind counts as a repeat.
    void ForgetRepeats();
    // The game port ("gampt", default 4012) and the messenger port ("udppt", default 4010)
    // of the parameters handed in: kept while the messenger holds the file, read again
    // once it changed; a value that is not a port gives the default.
    MessengerPorts ports() { return parameters.ports(); }

signals:
    // A datagram passed the size limit and the repeat filter; it is dispatched next.
    void datagramAccepted(const QString &address, const QString &text);
    // The dispatcher has acted on it.
    void datagramDispatched(const QString &address, const QString &text);

private:
    void OnDatagram();
    void dispatchNext();
    Task<> bindGamePort();

    Receiver receive;
    MessengerParameters &parameters;
    QUdpSocket *gameSocket = nullptr;
    RepeatFilter repeatFilter;
    struct Pending {
        QString address;
        QString text;
    };
    QList<Pending> queue;
};

// The local address to bind (HOLLYFROST_BIND_ADDRESS), or empty for every IPv4 address.
QString BindAddress();

// The invitation ping: to the messenger port, then to port 80; the second's result.
bool SendInvitePing(Transport &transport, const QString &address, const Msg::Invitation &ping);
// A dotted IPv4 address for a typed UIN (through UINIP.lst) or address, or empty.
QString ResolvePlayerAddress(const QString &typed);
