#include "NetTestFolder.h"

#include "scramble_keys.h"
#include "Utilities.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {
QByteArray parameterLine(const QString &name, const QString &value)
{
    return ShiftText(ToBytes(name), ScrambleKeys::ParameterName, ShiftDirection::Down) + "&&"
           + ShiftText(ToBytes(value), ScrambleKeys::ParameterValue, ShiftDirection::Down) + "\r\n";
}
} // namespace

NetTestFolder::NetTestFolder(quint16 gamePort, quint16 messengerPort, const QStringList &characterFiles)
    : AppTestFolder(characterFiles)
{
    writeMessengerFile(QStringLiteral("hollyfro.exe"), "messenger");
    writeParameters(gamePort, messengerPort);
}

bool NetTestFolder::writeParameters(quint16 gamePort, quint16 messengerPort) const
{
    return writeMessengerFile(QStringLiteral("HFparms.cfg"),
                              parameterLine(QStringLiteral("gampt"), QString::number(gamePort))
                                  + parameterLine(QStringLiteral("udppt"), QString::number(messengerPort)));
}

QString NetTestFolder::messenger() const
{
    return QDir::cleanPath(program() + QStringLiteral("..")) + u'/';
}

bool NetTestFolder::writeMessengerFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(messenger() + name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

Peer::Peer(const QString &address, quint16 port)
{
    socket.bind(QHostAddress(address), port, QAbstractSocket::DontShareAddress);
    QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] { collect(); });
}

void Peer::collect()
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        arrived.append(datagram);
        if (!answerCode.isEmpty() && datagram.data().startsWith(answerCode))
            socket.writeDatagram(answerText, datagram.senderAddress(), answerPort);
    }
}

void Peer::send(const QByteArray &bytes, const QString &to, quint16 port)
{
    socket.writeDatagram(bytes, QHostAddress(to), port);
}

QList<QNetworkDatagram> Peer::receive(int count, int timeoutMs)
{
    (void)QTest::qWaitFor([&] { return arrived.size() >= count; }, timeoutMs);
    const QList<QNetworkDatagram> result = arrived;
    arrived.clear();
    return result;
}

QList<QNetworkDatagram> Peer::drain(int waitMs)
{
    QTest::qWait(waitMs);
    const QList<QNetworkDatagram> result = arrived;
    arrived.clear();
    return result;
}

QList<QByteArray> Peer::texts(const QList<QNetworkDatagram> &datagrams) const
{
    QList<QByteArray> result;
    for (const QNetworkDatagram &datagram : datagrams)
        result.append(datagram.data());
    return result;
}

void Peer::answer(const QByteArray &code, const QByteArray &reply, quint16 port)
{
    answerCode = code;
    answerText = reply;
    answerPort = port;
}
