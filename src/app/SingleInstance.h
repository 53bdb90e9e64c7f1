// Lets only one copy of the game run per user. An exclusive lock (flock) on a file in
// the user's private runtime folder decides which copy is first, atomically; the first
// copy keeps the lock for its whole run and listens on a local socket in the same
// folder. A later copy connects, hands over its command line and ends, and the first
// copy calls its restore hook, which brings the main window to the front. Only the
// lock holder ever removes the socket, so a socket left by a crashed copy is taken over
// by the next first copy and never by a copy that lost the race.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;
class QLocalSocket;

constexpr const char *InstanceGuardName = "HollyfrostGames";

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        FirstCopy,        // this copy now owns the guard
        HandedOver,       // another copy took the command line: end this one at once
        NoGuard,          // another copy refused, or the guard could not be set up: go on
    };

    // folder: where the lock file and the socket live; empty means GuardFolder().
    explicit SingleInstance(const QString &name = QString::fromLatin1(InstanceGuardName),
                              const QString &folder = QString(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // The user's private runtime folder (XDG_RUNTIME_DIR when it is the user's own and
    // closed to others), else a private folder of the user made for the purpose.
    static QString GuardFolder();

    // Becomes the running copy, or hands the command line to the running copy (waiting
    // at most waitMs in all for it to listen and answer). It runs before the window
    // shows, so the default is short: a copy that does not answer by then is taken to
    // have the command line, and this one ends.
    Outcome Start(const QStringList &commandLine, int waitMs = 500);

    // Called with no arguments whenever a later copy hands over its command line.
    void SetRestoreHook(std::function<void()> hook);
    // The command line and tag carried by the last hand-over (kept, not used further).
    QString LastCommandLine() const { return lastCommandLine; }
    int LastTag() const { return lastTag; }
    // Every command line handed over since the start, oldest first.
    QStringList HandedOverCommandLines() const { return handedOver; }
    bool Listening() const;
    QString SocketPath() const;

private:
    bool takeLock();
    Outcome handOver(const QString &commandLine, const QDeadlineTimer &deadline);
    void acceptConnections();
    void readHandOver(QLocalSocket *socket);

    QString name;
    QString folder;
    int lockFd = -1;
    QLocalServer *server = nullptr;
    std::function<void()> restoreHook;
    QString lastCommandLine;
    int lastTag = 0;
    QStringList handedOver;
};
