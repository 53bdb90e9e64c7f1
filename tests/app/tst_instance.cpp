// The instance guard: a later copy hands its command line to the running one, racing
// starts leave exactly one copy, a socket left by a crashed copy does not block the next
// start, a socket without the lock fools nobody, and junk on the socket is ignored.
#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString Name = QStringLiteral("HollyfrostGames");

// Runs a later copy's start in a thread of its own, so that the running copy (this
// thread) can answer it, and returns that copy's outcome.
SingleInstance::Outcome startSecondCopy(const QString &folder, const QStringList &commandLine)
{
    SingleInstance::Outcome outcome = SingleInstance::Outcome::FirstCopy;
    QThread *thread = QThread::create([&] {
        SingleInstance second(Name, folder);
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

// One copy of the racing-start test, run as a process of its own: the first copy waits
// for the others' command lines and prints them; the others end with status 3.
int runCopy(const QString &folder, const QString &number, int others)
{
    SingleInstance guard(Name, folder);
    const auto outcome = guard.Start({QStringLiteral("game"), number}, 20000);
    if (outcome == SingleInstance::Outcome::HandedOver)
        return 3;
    if (outcome != SingleInstance::Outcome::FirstCopy)
        return 4;
    QDeadlineTimer deadline(60000);
    while (guard.HandedOverCommandLines().size() < others && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf("first %s\n", qPrintable(number));
    for (const QString &line : guard.HandedOverCommandLines())
        std::printf("%s\n", qPrintable(line));
    return 0;
}
} // namespace

class TestInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondCopyHandsOver()
    {
        QTemporaryDir folder;
        SingleInstance first(Name, folder.path());
        QCOMPARE(first.Start({QStringLiteral("game"), QStringLiteral("40002")}), SingleInstance::Outcome::FirstCopy);
        QVERIFY(first.Listening());
        QVERIFY(first.SocketPath().startsWith(folder.path()));
        int restores = 0;
        first.SetRestoreHook([&] { ++restores; });
        QCOMPARE(startSecondCopy(folder.path(), {QStringLiteral("game"), QStringLiteral("40003")}),
                 SingleInstance::Outcome::HandedOver);
        QTRY_COMPARE_WITH_TIMEOUT(restores, 1, 5000);
        QCOMPARE(first.LastCommandLine(), QStringLiteral("game 40003"));
        QCOMPARE(first.LastTag(), 0);
        // And again: the guard keeps serving.
        QCOMPARE(startSecondCopy(folder.path(), {QStringLiteral("game")}), SingleInstance::Outcome::HandedOver);
        QTRY_COMPARE_WITH_TIMEOUT(restores, 2, 5000);
    }

    void racingStartsLeaveOneCopy()
    {
        QTemporaryDir folder;
        constexpr int copies = 10;
        QList<QProcess *> processes;
        for (int i = 0; i < copies; ++i) {
            auto *process = new QProcess(this);
            process->start(QCoreApplication::applicationFilePath(),
                           {QStringLiteral("--copy"), folder.path(), QString::number(i), QString::number(copies - 1)});
            processes << process;
        }
        QStringList firstOutput;
        int handedOver = 0;
        for (QProcess *process : processes) {
            QVERIFY(process->waitForFinished(90000));
            QCOMPARE(process->exitStatus(), QProcess::NormalExit);
            if (process->exitCode() == 0)
                firstOutput << QString::fromUtf8(process->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
            else if (process->exitCode() == 3)
                ++handedOver;
            else
                QFAIL(qPrintable(QStringLiteral("a copy ended with status %1").arg(process->exitCode())));
        }
        QCOMPARE(handedOver, copies - 1);
        QVERIFY(!firstOutput.isEmpty());
        const QString first = firstOutput.takeFirst().section(u' ', 1);
        QStringList expected;
        for (int i = 0; i < copies; ++i)
            if (QString::number(i) != first)
                expected << QStringLiteral("game %1").arg(i);
        firstOutput.sort();
        expected.sort();
        QCOMPARE(firstOutput, expected);
        qDeleteAll(processes);
    }

    void staleSocketIsTakenOver()
    {
        QTemporaryDir folder;
        const QByteArray path = QFile::encodeName(folder.filePath(Name));
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
        SingleInstance guard(Name, folder.path());
        QCOMPARE(guard.Start({QStringLiteral("game"), QStringLiteral("1")}), SingleInstance::Outcome::FirstCopy);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(guard.Listening());
    }

    void socketWithoutTheLockFoolsNobody()
    {
        // Something listens on the guard's socket but holds no lock: it is not a copy of
        // the game, so this copy takes the guard and nothing is handed to the impostor.
        QTemporaryDir folder;
        QLocalServer impostor;
        impostor.setSocketOptions(QLocalServer::UserAccessOption);
        QVERIFY(impostor.listen(folder.filePath(Name)));
        SingleInstance guard(Name, folder.path());
        QCOMPARE(guard.Start({QStringLiteral("game")}), SingleInstance::Outcome::FirstCopy);
        QVERIFY(guard.Listening());
        QCoreApplication::processEvents();
        QVERIFY(!impostor.hasPendingConnections());
    }

    void copyWaitsForTheLockHolderToListen()
    {
        // The lock is held by a copy that does not listen yet: the later copy neither
        // removes its socket nor runs, but waits and hands over once it listens.
        QTemporaryDir folder;
        const int fd = ::open(QFile::encodeName(folder.filePath(Name + ".lock")).constData(), O_RDWR | O_CREAT, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        QLocalServer starting;
        QByteArray received;
        connect(&starting, &QLocalServer::newConnection, this, [&] {
            QLocalSocket *socket = starting.nextPendingConnection();
            connect(socket, &QLocalSocket::readyRead, socket, [&received, socket] {
                received += socket->readAll();
                socket->write("\1", 1);
            });
        });
        QTimer::singleShot(500, this, [&] { QVERIFY(starting.listen(folder.filePath(Name))); });
        QCOMPARE(startSecondCopy(folder.path(), {QStringLiteral("game"), QStringLiteral("7")}),
                 SingleInstance::Outcome::HandedOver);
        QVERIFY(received.endsWith("game 7"));
        // A lock holder that never listens (or hangs) holds a start up for half a second
        // at most, in the start's default: it runs before any window shows.
        starting.close();
        QElapsedTimer clock;
        clock.start();
        SingleInstance waiting(Name, folder.path());
        QCOMPARE(waiting.Start({QStringLiteral("game")}), SingleInstance::Outcome::HandedOver);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        ::close(fd);
    }

    void guardFolderIsPrivate()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME"), oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QString open = home.filePath("open");
        QVERIFY(QDir().mkpath(open));
        QVERIFY(QFile::setPermissions(open, QFile::Permissions(0x7777)));   // everyone may enter
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(open));
        const QString chosen = SingleInstance::GuardFolder();
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));   // QTemporaryDir: owner only
        const QString runtime = SingleInstance::GuardFolder();
        qputenv("HOME", oldHome);
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        QVERIFY2(chosen.startsWith(home.path()) && chosen != open, qPrintable(chosen));
        QCOMPARE(QFileInfo(chosen).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0);
        QCOMPARE(runtime, home.path());
        // A guard in a folder that others can enter is no guard at all.
        SingleInstance guard(Name, open);
        QCOMPARE(guard.Start({}), SingleInstance::Outcome::NoGuard);
    }

    void junkDoesNotRestore()
    {
        QTemporaryDir folder;
        SingleInstance first(Name, folder.path());
        QCOMPARE(first.Start({}), SingleInstance::Outcome::FirstCopy);
        int restores = 0;
        first.SetRestoreHook([&] { ++restores; });
        QLocalSocket socket;
        socket.connectToServer(first.SocketPath());
        QVERIFY(socket.waitForConnected(2000));
        socket.write(QByteArray("\x7f\xff\xff\xffjunk", 8));   // an absurd length
        socket.flush();
        QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QLocalSocket::UnconnectedState, 5000);
        QCOMPARE(restores, 0);
        // A proper hand-over still works afterwards.
        QCOMPARE(startSecondCopy(folder.path(), {QStringLiteral("x")}), SingleInstance::Outcome::HandedOver);
        QTRY_COMPARE_WITH_TIMEOUT(restores, 1, 5000);
    }

    void guardEndsWithItsOwner()
    {
        QTemporaryDir folder;
        {
            SingleInstance first(Name, folder.path());
            QCOMPARE(first.Start({}), SingleInstance::Outcome::FirstCopy);
        }
        SingleInstance next(Name, folder.path());
        QCOMPARE(next.Start({}), SingleInstance::Outcome::FirstCopy);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 5 && qstrcmp(argv[1], "--copy") == 0) {
        QCoreApplication app(argc, argv);
        return runCopy(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), QByteArray(argv[4]).toInt());
    }
    QCoreApplication app(argc, argv);
    TestInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_instance.moc"
