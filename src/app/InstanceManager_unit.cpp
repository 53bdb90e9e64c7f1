#include "InstanceManager_unit.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>

TInstanceManager *InstanceManager = nullptr;

// A hand-over is one frame: a 32-bit big-endian byte count, then the tag (32-bit) and the
// command line as UTF-8. The running copy answers with one byte: 1 taken, 0 refused.
namespace {
constexpr qint32 MaxHandOverBytes = 64 * 1024;

QByteArray handOverFrame(const QString &commandLine, qint32 tag)
{
    QByteArray body;
    QDataStream bodyStream(&body, QIODevice::WriteOnly);
    bodyStream << tag;
    body += commandLine.toUtf8();
    QByteArray frame;
    QDataStream frameStream(&frame, QIODevice::WriteOnly);
    frameStream << static_cast<qint32>(body.size());
    return frame + body;
}
} // namespace

TInstanceManager::TInstanceManager(const QString &name, QObject *parent)
    : QObject(parent), name(name)
{
}

TInstanceManager::~TInstanceManager()
{
    if (server)
        server->close();   // removes the socket file
    if (InstanceManager == this)
        InstanceManager = nullptr;
}

bool TInstanceManager::Listening() const
{
    return server && server->isListening();
}

void TInstanceManager::SetRestoreHook(std::function<void()> hook)
{
    restoreHook = std::move(hook);
}

TInstanceManager::Outcome TInstanceManager::Start(const QStringList &commandLine, int waitMs)
{
    {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(waitMs)) {
            socket.write(handOverFrame(commandLine.join(u' '), 0));
            if (!socket.waitForBytesWritten(waitMs))
                return Outcome::HandedOver;   // the other copy is there but hangs: still end
            if (!socket.waitForReadyRead(waitMs))
                return Outcome::HandedOver;   // no answer in time counts as taken
            char answer = 0;
            socket.read(&answer, 1);
            return answer > 0 ? Outcome::HandedOver : Outcome::NoGuard;
        }
    }
    // Nobody answered: any socket file is left over from a copy that did not end cleanly.
    QLocalServer::removeServer(name);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        delete server;
        server = nullptr;
        return Outcome::NoGuard;
    }
    connect(server, &QLocalServer::newConnection, this, &TInstanceManager::acceptConnections);
    return Outcome::FirstCopy;
}

void TInstanceManager::acceptConnections()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readHandOver(socket); });
        if (socket->bytesAvailable() > 0)
            readHandOver(socket);
    }
}

void TInstanceManager::readHandOver(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < 4)
        return;
    QDataStream peek(socket->peek(4));
    qint32 size = 0;
    peek >> size;
    if (size < 4 || size > MaxHandOverBytes) {
        socket->abort();   // not one of ours
        return;
    }
    if (socket->bytesAvailable() < 4 + size)
        return;
    socket->read(4);
    const QByteArray body = socket->read(size);
    QDataStream bodyStream(body);
    bodyStream >> lastTag;
    lastCommandLine = QString::fromUtf8(body.mid(4));
    socket->write("\1", 1);
    socket->flush();
    socket->disconnectFromServer();
    if (restoreHook)
        restoreHook();
}
