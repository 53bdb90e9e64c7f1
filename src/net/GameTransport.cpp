#include "GameTransport.h"

#include "DataFiles.h"
#include "MessageCodes.h"
#include "Phrases.h"
#include "Utilities.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QPointer>
#include <QUdpSocket>

namespace {

constexpr int LastDatagramCapacity = 255;
// Datagrams read in one go before the window gets its turn again (a flood must not
// starve the window).
constexpr int DatagramsPerRead = 200;

QHostAddress localAddress()
{
    const QHostAddress bound(BindAddress());
    return bound.isNull() ? QHostAddress(QHostAddress::AnyIPv4) : bound;
}

// An address the game may send to: dotted IPv4 text.
bool destination(const QString &address, QHostAddress &result)
{
    if (address.isEmpty())
        return false;
    result = QHostAddress(address);
    return result.protocol() == QAbstractSocket::IPv4Protocol;
}

// A send from a socket of its own, bound to port (0: any free port).
bool sendFromOwnSocket(const QByteArray &text, const QHostAddress &to, quint16 toPort, quint16 fromPort)
{
    QUdpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);   // a LAN datagram: no proxy lookup either
    if (!socket.bind(localAddress(), fromPort, QAbstractSocket::DontShareAddress))
        return false;
    return socket.writeDatagram(text, to, toPort) == text.size();
}

// The text as a dotted IPv4 address (four numbers 0..255, written without leading
// zeros), or empty when it is not one ("300.1.1.1", "a.b.c.d", "1.2.3").
QString DottedAddress(const QString &text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return QString();
    QStringList numbers;
    for (const QString &part : parts) {
        if (!IsDigits(part, 3))
            return QString();
        const int value = part.toInt();
        if (value > 255)
            return QString();
        numbers << QString::number(value);
    }
    return numbers.join(u'.');
}

} // namespace

bool RepeatFilter::accept(const QString &address, const QString &text, qint64 nowMs)
{
    // Acknowledgements all read alike ("AK" + name) and acting on one twice does no harm;
    // dropping one would leave its sender resending for seconds.
    if (text.startsWith(MessageCode::Acknowledge))
        return true;
    const QString key = address + text;
    if (any && key == lastDatagram && nowMs <= lastTimeMs + windowMs())
        return false;
    lastDatagram = key.left(LastDatagramCapacity);
    lastTimeMs = nowMs;
    any = true;
    return true;
}

qint64 RepeatFilter::windowMs()
{
    // 5.8e-05 of a day.
    return ScaledInterval(5011);
}

QString BindAddress()
{
    const QString text = qEnvironmentVariable("HOLLYFROST_BIND_ADDRESS").trimmed();
    return QHostAddress(text).protocol() == QAbstractSocket::IPv4Protocol ? text : QString();
}


GameTransport::GameTransport(Receiver receiver, MessengerParameters &parameters, QObject *parent)
    : QObject(parent), receive(std::move(receiver)), parameters(parameters)
{
    setObjectName(QStringLiteral("GameTransport"));
    gameSocket = new QUdpSocket(this);
    gameSocket->setProxy(QNetworkProxy::NoProxy);
    connect(gameSocket, &QUdpSocket::readyRead, this, &GameTransport::OnDatagram);
}

Task<> GameTransport::bindGamePort()
{
    // At start-up the messenger may be writing its parameter file: the socket is bound
    // once the game port can be read, not to a default that may not be this game's.
    const QPointer<GameTransport> self(this);
    co_await parameters.readWhenFree();
    if (!self)
        co_return;
    gameSocket->close();
    // Started by the messenger, the game shares its port with the messenger's relays to
    // friends on the internet (127.0.0.N on the same port); else a second copy fails to bind.
    gameSocket->bind(localAddress(), parameters.ports().game,
                     qEnvironmentVariableIsSet("HOLLYFROST_SHARE_GAME_PORT") ? QAbstractSocket::ShareAddress
                                                                              : QAbstractSocket::DontShareAddress);
}

GameTransport::~GameTransport() = default;

void GameTransport::StartListening()
{
    Launch(bindGamePort());
}

bool GameTransport::Listening() const
{
    return gameSocket->state() == QAbstractSocket::BoundState;
}

bool GameTransport::SendFromGamePort(const QByteArray &text, const QString &address, quint16 port)
{
    QHostAddress to;
    if (!destination(address, to))
        return false;
    if (!Listening())
        return sendFromOwnSocket(text, to, port, 0);
    return gameSocket->writeDatagram(text, to, port) == text.size();
}

void GameTransport::ForgetRepeats()
{
    repeatFilter = RepeatFilter();
}

void GameTransport::OnDatagram()
{
    // Reads until a read finds nothing (or DatagramsPerRead datagrams, then again on the next
    // turn). The socket reports no new data after a report on which nothing was read, until
    // the next read: a report that comes late, after a read elsewhere emptied the socket,
    // would otherwise leave the game deaf for good. The failed last read counts as a read.
    QByteArray buffer(DatagramBufferSize + 1, Qt::Uninitialized);
    for (int read = 0;; ++read) {
        if (read == DatagramsPerRead) {
            QMetaObject::invokeMethod(this, &GameTransport::OnDatagram, Qt::QueuedConnection);
            return;
        }
        QHostAddress sender;
        const qint64 got = gameSocket->readDatagram(buffer.data(), buffer.size(), &sender);
        if (got < 0)
            return;   // nothing left (or a read error: the next notice tries again)
        // Past the size limit the datagram is dropped whole (the read kept one byte more).
        if (got > DatagramBufferSize || queue.size() >= MaxQueuedDatagrams)
            continue;
        bool ipv4 = false;
        const quint32 raw = sender.toIPv4Address(&ipv4);
        if (!ipv4)
            continue;
        const QString address = QHostAddress(raw).toString();
        const QString text = FromBytes(QByteArray(buffer.constData(), got));
        if (!repeatFilter.accept(address, text, GameClock().nowMs()))
            continue;
        emit datagramAccepted(address, text);
        // Dispatched from the event queue, one a turn, so that a flood is bounded by the
        // queue and the windows are served between datagrams.
        queue.append({address, text});
        QMetaObject::invokeMethod(this, &GameTransport::dispatchNext, Qt::QueuedConnection);
    }
}

void GameTransport::dispatchNext()
{
    if (queue.isEmpty())
        return;
    const Pending next = queue.takeFirst();
    if (receive)
        receive(next.address, next.text);
    emit datagramDispatched(next.address, next.text);
}

namespace {
// gamePort: the game port as read for this send (the parameters are looked at once).
bool sendDatagram(GameTransport &transport, const QString &datagram, const QString &address, quint16 port,
              quint16 gamePort)
{
    if (address.isEmpty())
        return false;
    const QByteArray text = ToBytes(datagram);
    QHostAddress to;
    if (!destination(address, to))
        return false;
    if (port == 80)
        return sendFromOwnSocket(text, to, port, 0);
    if (port != gamePort && sendFromOwnSocket(text, to, port, port))
        return true;   // the messenger port was free: sent from it, as the messenger expects
    return transport.SendFromGamePort(text, address, port);
}
} // namespace

bool GameTransport::sendText(const QString &address, const QString &text)
{
    if (address.isEmpty())
        return false;
    const quint16 port = parameters.ports().game;
    return sendDatagram(*this, text, address, port, port);
}

bool GameTransport::sendToPort(const QString &address, quint16 port, const QString &text)
{
    return sendDatagram(*this, text, address, port, parameters.ports().game);
}

bool SendInvitePing(Transport &transport, const QString &address, const Msg::Invitation &ping)
{
    transport.sendToPort(ping, address, transport.messengerPort());
    return transport.sendToPort(ping, address, 80);
}

QString ResolvePlayerAddress(const QString &typed)
{
    const qsizetype dots = typed.count(u'.');
    QString result;
    if (typed.isEmpty())
        return result;
    if (dots < 3 && !IsInteger(typed))
        return result;
    if (dots == 0)
        result = LookupUinAddress(typed);
    else
        result = typed;
    return DottedAddress(result);
}

