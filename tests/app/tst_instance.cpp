// The instance guard: a later copy hands its command line to the running one, a socket
// left by a crashed copy does not block the next start, and junk on the socket is
// ignored.
#include "InstanceManager_unit.h"

#include <QDir>
#include <QLocalSocket>
#include <QThread>
#include <QUuid>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
QString uniqueName()
{
    return QStringLiteral("hf-test-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

// Runs a later copy's start in a thread of its own, so that the running copy (this
// thread) can answer it, and returns that copy's outcome.
TInstanceManager::Outcome startSecondCopy(const QString &name, const QStringList &commandLine)
{
    TInstanceManager::Outcome outcome = TInstanceManager::Outcome::FirstCopy;
    QThread *thread = QThread::create([&] {
        TInstanceManager second(name);
        outcome = second.Start(commandLine, 3000);
    });
    thread->start();
    QDeadlineTimer deadline(10000);
    while (!thread->isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    thread->wait();
    delete thread;
    return outcome;
}
} // namespace

class TestInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondCopyHandsOver()
    {
        const QString name = uniqueName();
        TInstanceManager first(name);
        QCOMPARE(first.Start({QStringLiteral("game"), QStringLiteral("40002")}), TInstanceManager::Outcome::FirstCopy);
        QVERIFY(first.Listening());
        int restores = 0;
        first.SetRestoreHook([&] { ++restores; });
        QCOMPARE(startSecondCopy(name, {QStringLiteral("game"), QStringLiteral("40003")}),
                 TInstanceManager::Outcome::HandedOver);
        QTRY_COMPARE_WITH_TIMEOUT(restores, 1, 5000);
        QCOMPARE(first.LastCommandLine(), QStringLiteral("game 40003"));
        QCOMPARE(first.LastTag(), 0);
        // And again: the guard keeps serving.
        QCOMPARE(startSecondCopy(name, {QStringLiteral("game")}), TInstanceManager::Outcome::HandedOver);
        QTRY_COMPARE_WITH_TIMEOUT(restores, 2, 5000);
    }

    void staleSocketIsTakenOver()
    {
        const QString name = uniqueName();
        const QByteArray path = QFile::encodeName(QDir::tempPath() + u'/' + name);
        // A socket file whose owner is gone, as a crashed copy leaves it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);
        QVERIFY(QFile::exists(QFile::decodeName(path)));

        QElapsedTimer clock;
        clock.start();
        TInstanceManager guard(name);
        QCOMPARE(guard.Start({QStringLiteral("game"), QStringLiteral("1")}), TInstanceManager::Outcome::FirstCopy);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(guard.Listening());
    }

    void junkDoesNotRestore()
    {
        const QString name = uniqueName();
        TInstanceManager first(name);
        QCOMPARE(first.Start({}), TInstanceManager::Outcome::FirstCopy);
        int restores = 0;
        first.SetRestoreHook([&] { ++restores; });
        QLocalSocket socket;
        socket.connectToServer(name);
        QVERIFY(socket.waitForConnected(2000));
        socket.write(QByteArray("\x7f\xff\xff\xffjunk", 8));   // an absurd length
        socket.flush();
        QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QLocalSocket::UnconnectedState, 5000);
        QCOMPARE(restores, 0);
        // A proper hand-over still works afterwards.
        QCOMPARE(startSecondCopy(name, {QStringLiteral("x")}), TInstanceManager::Outcome::HandedOver);
        QTRY_COMPARE_WITH_TIMEOUT(restores, 1, 5000);
    }

    void guardEndsWithItsOwner()
    {
        const QString name = uniqueName();
        {
            TInstanceManager first(name);
            QCOMPARE(first.Start({}), TInstanceManager::Outcome::FirstCopy);
        }
        TInstanceManager next(name);
        QCOMPARE(next.Start({}), TInstanceManager::Outcome::FirstCopy);
    }
};

QTEST_MAIN(TestInstance)
#include "tst_instance.moc"
