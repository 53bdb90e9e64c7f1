// The platform choice on the desktops people have: a Wayland session with XWayland runs
// the game through X11, the user's own choice wins, and a Wayland session without an X11
// server keeps Qt's choice instead of a platform that cannot start. The signals that end
// a program from outside reach the event loop.
#include "DesktopSession.h"

#include <QtTest>

#include <csignal>

class DesktopSessionTest : public QObject
{
    Q_OBJECT

    static QProcessEnvironment environment(std::initializer_list<std::pair<const char *, const char *>> values)
    {
        QProcessEnvironment result;
        for (const auto &[name, value] : values)
            result.insert(QString::fromLatin1(name), QString::fromLatin1(value));
        return result;
    }

private slots:
    void choosesX11OnlyOnWaylandWithXWayland_data()
    {
        QTest::addColumn<QProcessEnvironment>("env");
        QTest::addColumn<QByteArray>("platform");
        QTest::newRow("wayland display and X11") << environment({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}})
                                               << QByteArray("xcb");
        QTest::newRow("session type only") << environment({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}})
                                           << QByteArray("xcb");
        QTest::newRow("user's choice kept")
            << environment({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}})
            << QByteArray();
        QTest::newRow("no XWayland") << environment({{"WAYLAND_DISPLAY", "wayland-0"}}) << QByteArray();
        QTest::newRow("plain X11 session") << environment({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}})
                                           << QByteArray();
        QTest::newRow("no desktop") << environment({}) << QByteArray();
    }
    void choosesX11OnlyOnWaylandWithXWayland()
    {
        QFETCH(QProcessEnvironment, env);
        QFETCH(QByteArray, platform);
        QCOMPARE(ChooseQtPlatform(env), platform);
    }

    // TERM and HUP end nothing by themselves: each comes through the event loop, as
    // often as it is sent, for the game to leave as its Exit does.
    void endSignalsComeThroughTheEventLoop()
    {
        EndSignals signals_;
        QVERIFY(signals_.watching());
        QSignalSpy spy(&signals_, &EndSignals::received);
        QCOMPARE(raise(SIGTERM), 0);   // to this thread, which blocks it
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.takeFirst().value(0).toInt(), SIGTERM);
        QCOMPARE(raise(SIGHUP), 0);
        QCOMPARE(raise(SIGTERM), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 2, 5000);
        QCOMPARE(spy.at(0).value(0).toInt(), SIGHUP);
        QCOMPARE(spy.at(1).value(0).toInt(), SIGTERM);
    }

    void anIgnoredHangUpStaysIgnored()
    {
        // Started under nohup: a hang-up ends nothing, a TERM still does.
        const auto restore = qScopeGuard([] { signal(SIGHUP, SIG_DFL); });
        signal(SIGHUP, SIG_IGN);
        sigset_t hangUp;
        sigemptyset(&hangUp);
        sigaddset(&hangUp, SIGHUP);
        pthread_sigmask(SIG_UNBLOCK, &hangUp, nullptr);
        EndSignals signals_;
        QSignalSpy spy(&signals_, &EndSignals::received);
        QCOMPARE(raise(SIGHUP), 0);
        QCOMPARE(raise(SIGTERM), 0);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).value(0).toInt(), SIGTERM);
    }
};

QTEST_GUILESS_MAIN(DesktopSessionTest)
#include "tst_desktop_session.moc"
