// A messenger folder around the app tests' program folder, with the ports and the
// address list that network play reads, and a peer socket that stands for another
// machine on a loopback address.
#pragma once

#include "AppTestFolder.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

class NetTestFolder : public AppTestFolder
{
public:
    NetTestFolder(quint16 gamePort, quint16 messengerPort, const QStringList &characterFiles = {});
    QString messenger() const;   // ends in "/"
    bool writeMessengerFile(const QString &name, const QByteArray &bytes) const;
    // HFparms.cfg with the two ports.
    bool writeParameters(quint16 gamePort, quint16 messengerPort) const;
};

// A socket on a loopback address that collects what it receives.
class Peer
{
public:
    Peer(const QString &address, quint16 port);
    bool bound() const { return socket.state() == QAbstractSocket::BoundState; }
    void send(const QByteArray &bytes, const QString &to, quint16 port);
    // Waits (generously) until count datagrams have arrived; returns them.
    QList<QNetworkDatagram> receive(int count, int timeoutMs = 10000);
    // Everything that arrived so far (waits briefly for stragglers).
    QList<QNetworkDatagram> drain(int waitMs = 200);
    QList<QByteArray> texts(const QList<QNetworkDatagram> &datagrams) const;
    // Answers every datagram whose code is code with reply, sent to its sender at port.
    void answer(const QByteArray &code, const QByteArray &reply, quint16 port);

private:
    QUdpSocket socket;
    QList<QNetworkDatagram> arrived;
    QByteArray answerCode, answerText;
    quint16 answerPort = 0;
    void collect();
};
