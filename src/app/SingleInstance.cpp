#include "SingleInstance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A folder that only this user can enter: owned by us, no access for group or others.
bool privateFolder(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode)
           && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}
} // namespace

SingleInstance::SingleInstance(const QString &name, const QString &folder, QObject *parent)
    : QObject(parent), name(name), folder(folder.isEmpty() ? GuardFolder() : folder)
{
}

SingleInstance::~SingleInstance()
{
    if (server)
        server->close();   // removes the socket file
    if (lockFd >= 0)
        ::close(lockFd);   // releases the lock: the next start is a first copy again
}

QString SingleInstance::GuardFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (privateFolder(runtime))
        return runtime;
    // No usable runtime folder: a private folder of the user, made closed to others.
    const QString own = QDir::homePath() + QStringLiteral("/.cache/hollyfrost-games");
    QDir().mkpath(own);
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (privateFolder(own))
        return own;
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstance::SocketPath() const
{
    return folder + u'/' + name;
}

bool SingleInstance::Listening() const
{
    return server && server->isListening();
}

void SingleInstance::SetRestoreHook(std::function<void()> hook)
{
    restoreHook = std::move(hook);
}

bool SingleInstance::takeLock()
{
    if (lockFd < 0) {
        const QByteArray path = QFile::encodeName(folder + u'/' + name + QStringLiteral(".lock"));
        lockFd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (lockFd < 0)
            return false;
    }
    return ::flock(lockFd, LOCK_EX | LOCK_NB) == 0;
}

SingleInstance::Outcome SingleInstance::Start(const QStringList &commandLine, int waitMs)
{
    if (!privateFolder(folder))
        return Outcome::NoGuard;   // nowhere safe for the guard: run unguarded
    QDeadlineTimer deadline(waitMs);
    while (!takeLock()) {
        if (lockFd < 0)
            return Outcome::NoGuard;
        // Another copy holds the lock: it is running or about to listen.
        const Outcome outcome = handOver(commandLine.join(u' '), deadline);
        if (outcome != Outcome::FirstCopy)
            return outcome;
        if (deadline.hasExpired())
            return Outcome::HandedOver;   // it holds the guard but never answers: still end
        QThread::msleep(20);
    }
    // This copy is first. Any socket file is left over from a copy that is gone.
    QLocalServer::removeServer(SocketPath());
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(SocketPath())) {
        delete server;
        server = nullptr;
        return Outcome::NoGuard;
    }
    connect(server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return Outcome::FirstCopy;
}

// One attempt to hand over; FirstCopy means nobody answered yet (try again).
// Every wait counts against the start's one deadline.
SingleInstance::Outcome SingleInstance::handOver(const QString &commandLine, const QDeadlineTimer &deadline)
{
    const auto left = [&deadline] { return int(qMax<qint64>(deadline.remainingTime(), 0)); };
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(qMin(left(), 200)))
        return Outcome::FirstCopy;
    socket.write(handOverFrame(commandLine, 0));
    if (!socket.waitForBytesWritten(left()))
        return Outcome::HandedOver;   // the other copy is there but hangs: still end
    if (!socket.waitForReadyRead(left()))
        return Outcome::HandedOver;   // no answer in time counts as taken
    char answer = 0;
    socket.read(&answer, 1);
    return answer > 0 ? Outcome::HandedOver : Outcome::NoGuard;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readHandOver(socket); });
        if (socket->bytesAvailable() > 0)
            readHandOver(socket);
    }
}

void SingleInstance::readHandOver(QLocalSocket *socket)
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
    handedOver << lastCommandLine;
    socket->write("\1", 1);
    socket->flush();
    socket->disconnectFromServer();
    if (restoreHook)
        restoreHook();
}
