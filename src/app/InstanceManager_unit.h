// Lets only one copy of the game run. The first copy listens on a local socket named
// "HollyfrostGames"; a later copy connects, hands over its command line and ends, and
// the first copy calls its restore hook, which brings the main window to the front.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;
class QLocalSocket;

constexpr const char *InstanceGuardName = "HollyfrostGames";

class TInstanceManager : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        FirstCopy,        // this copy now owns the guard
        HandedOver,       // another copy took the command line: end this one at once
        NoGuard,          // another copy refused, or the guard could not be set up: go on
    };

    explicit TInstanceManager(const QString &name = QString::fromLatin1(InstanceGuardName),
                              QObject *parent = nullptr);
    ~TInstanceManager() override;

    // Connects to a running copy (waiting at most waitMs for its answer) or becomes the
    // running copy. A socket left behind by a crashed copy is removed and taken over.
    Outcome Start(const QStringList &commandLine, int waitMs = 5000);

    // Called with no arguments whenever a later copy hands over its command line.
    void SetRestoreHook(std::function<void()> hook);
    // The command line and tag carried by the last hand-over (kept, not used further).
    QString LastCommandLine() const { return lastCommandLine; }
    int LastTag() const { return lastTag; }
    bool Listening() const;

private:
    void acceptConnections();
    void readHandOver(QLocalSocket *socket);

    QString name;
    QLocalServer *server = nullptr;
    std::function<void()> restoreHook;
    QString lastCommandLine;
    int lastTag = 0;
};

// The guard of this process (created by main before anything else).
extern TInstanceManager *InstanceManager;
