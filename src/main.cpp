// Hollyfrost Games: start-up. One copy runs at a time; the windows are created in a
// fixed order and live until the program ends.
#include "CountdownWindow.h"
#include "DataFiles.h"
#include "DesktopSession.h"
#include "GameMessages.h"
#include "GameTransport.h"
#include "MainWindow.h"
#include "MemoryTestWindow.h"
#include "MessageBoxes.h"
#include "InviteList.h"
#include "MessageHandlers.h"
#include "PlayRequests.h"
#include "PlaySettingsRules.h"
#include "QuestionWindow.h"
#include "Race.h"
#include "RaceTrackWindow.h"
#include "SingleInstance.h"
#include "TickLog.h"
#include "Stage.h"
#include "Utilities.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QScopeGuard>
#include <QWindow>

#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

QString FirstInstalled(const QStringList &families)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString &family : families)
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    return families.last();
}

void SubstituteFonts()
{
    const QString sans = FirstInstalled({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitution(QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

// With HOLLYFROST_BENCH_STARTUP set, prints the wall-clock time (ms since the epoch) at
// which the main window is first exposed, for the start-up benchmark.
class ExposeReporter : public QObject
{
public:
    explicit ExposeReporter(QWidget *window) : window(window) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && watched == window->windowHandle()
            && window->windowHandle()->isExposed()) {
            std::printf("hollyfrost: main window shown at %lld\n",
                        static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stdout);
            QCoreApplication::instance()->removeEventFilter(this);
        }
        return false;
    }

private:
    QWidget *window;
};

// Screen readers and desktop automation find every control by its caption: keep the
// accessibility bridge on even when the desktop has not asked for it.
void KeepAccessibilityOn()
{
    if (qEnvironmentVariableIsEmpty("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"))
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
}

// Qt's own event loop instead of glib's: the characters wake the game some 75 times a
// second, and each wake-up costs less without glib's sources and locks (a race takes
// about a tenth less of a core).
void PreferQtEventLoop()
{
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

// The C library's allocator raises its thresholds as the program frees big blocks
// (decoded pictures, speech), and then keeps up to 32 MB of freed memory, with an arena
// per thread. Fixed thresholds give such blocks back when they are freed.
void KeepHeapSmall()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    mallopt(M_ARENA_MAX, 2);
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    KeepHeapSmall();
    if (!DisplayNamed(QProcessEnvironment::systemEnvironment())) {
        std::fputs("hollyfrost-games: no display to show the game on (DISPLAY and WAYLAND_DISPLAY are not set)\n",
                    stderr);
        return 1;
    }
    PreferX11OnWayland();
    KeepAccessibilityOn();
    PreferQtEventLoop();
    BlockEndSignals();   // before the toolkit makes its threads
    QApplication app(argc, argv);

    SingleInstance guard;
    if (guard.Start(app.arguments()) == SingleInstance::Outcome::HandedOver)
        return 0;

    QApplication::setApplicationName(QStringLiteral("Hollyfrost Games"));
    QApplication::setQuitOnLastWindowClosed(false);
    SubstituteFonts();
    // The benchmark's log of the race's ticks, written when main ends (after the race).
    TickLog tickLog(qEnvironmentVariable("HOLLYFROST_BENCH_TICKS"));

    // The services the game is handed: the boxes on the screen, the messenger's
    // parameters, the race's screen, the characters on it, the network with its
    // dispatcher; and the game's state: the session, the contestants' records with their
    // roster, the play settings.
    ScreenDialogs dialogs;
    MessengerParameters parameters;
    RaceScreen raceScreen;
    AgentStage characters(raceScreen);
    GameTransport transport({}, parameters);
    GameSession session;
    RaceModel model;
    Roster roster(model);
    PlaySettings playSettings;
    Dispatcher dispatcher(session, roster, playSettings, transport);
    transport.setReceiver([&dispatcher](const QString &address, const QString &text) {
        dispatcher.dispatch(address, text);
    });
    // The race, with its 250 ms tick running from now on.
    Race race(session, roster, playSettings, characters, dialogs, dispatcher, raceScreen);
    parameters.missing = ParametersMissingNotice(race);
    if (tickLog.enabled())
        race.ticker().timed = [&tickLog](qint64 microseconds, bool waited) { tickLog.record(microseconds, waited); };
    race.ticker().start();
    FollowPlaySettings(race, playSettings);
    InviteList invites;   // the buddies "Invite Players" invites, shown by the main window
    PlayRequests playRequests(race, session, playSettings, roster, dialogs, invites, dispatcher);
    MainWindow mainWindow(race, playRequests);
    const bool accepted = mainWindow.Start(app.arguments());
    transport.StartListening();
    CountdownWindow countdown(race);
    QuestionWindow questionWindow(race.questions(), raceScreen);
    MemoryTest memoryTest(race.questions(), GameClock());
    MemoryTestWindow memoryTestWindow(memoryTest, raceScreen);
    RaceTrackWindow raceTrack(race);
    InstallMessageHandlers(race, playRequests);
    // Closing the main window (Exit, the title bar, Alt+F4) ends the program, also in the
    // middle of a race: the race is cancelled first, so that a hosted race's joiners are
    // told. The desktop session's end closes the windows too (a logout that is only asked
    // about, and may be cancelled, changes nothing); TERM and HUP leave the same way.
    QObject::connect(&mainWindow, &MainWindow::closed, &app, [&race] { race.leave(); });
    EndSignals endSignals;
    QObject::connect(&endSignals, &EndSignals::received, &app, [&race] { race.leave(); });

    ExposeReporter reporter(&mainWindow);
    if (accepted) {
        guard.SetRestoreHook([&mainWindow] { mainWindow.RestoreAndRaise(); });   // a later copy brings it forward
        if (qEnvironmentVariableIsSet("HOLLYFROST_BENCH_STARTUP"))
            app.installEventFilter(&reporter);
        mainWindow.show();
    }
    app.exec();
    // A quit from outside (the session's end) returns at once: leave as Exit does, and
    // keep the loop until the goodbye held for has gone out.
    race.leave();
    app.exec();
    // Sequences still waiting (a race, a report's resends) unwind now, while the windows
    // they refer to still exist.
    TerminateApplication();
    EndAllWaits();
    dispatcher.clearHandlers();
    return 0;
}
