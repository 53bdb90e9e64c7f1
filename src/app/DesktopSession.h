// Which of Qt's window-system platforms the game runs on. Characters must be placed on
// the screen, which a Wayland session does not let a program do; its X11 server
// (XWayland) does.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcessEnvironment>

class QSocketNotifier;

// "xcb" on a Wayland session that offers XWayland (DISPLAY set), unless the user chose a
// platform with QT_QPA_PLATFORM; empty otherwise (Qt's own choice). Without XWayland the
// game stays a Wayland client rather than failing to start.
QByteArray ChooseQtPlatform(const QProcessEnvironment &environment);
// Sets QT_QPA_PLATFORM to that choice; call before the application object is made.
void PreferX11OnWayland();
// False when nothing names a display to show the game on: no DISPLAY, no WAYLAND_DISPLAY
// and no QT_QPA_PLATFORM (the toolkit would then abort). The game then says so and ends.
bool DisplayNamed(const QProcessEnvironment &environment);

// The signals by which the desktop or a user ends a program from outside (TERM, HUP).
// Blocked in every thread, they are read from a descriptor on the event loop, so that the
// game leaves as its Exit does (a hosted race's joiners are told) instead of ending at
// once. Call BlockEndSignals before any thread is made (before the application object):
// the threads made later inherit the mask.
void BlockEndSignals();

class EndSignals : public QObject
{
    Q_OBJECT
public:
    explicit EndSignals(QObject *parent = nullptr);
    ~EndSignals() override;
    bool watching() const { return fd >= 0; }

signals:
    // One of the signals came (its number); each one that comes is told.
    void received(int signalNumber);

private:
    void readSignals();
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
};
