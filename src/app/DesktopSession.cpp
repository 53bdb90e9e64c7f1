#include "DesktopSession.h"

#include <QSocketNotifier>

#include <csignal>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

QByteArray ChooseQtPlatform(const QProcessEnvironment &environment)
{
    if (!environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return QByteArray();
    const bool wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty()
                         || environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
    if (!wayland || environment.value(QStringLiteral("DISPLAY")).isEmpty())
        return QByteArray();
    return QByteArrayLiteral("xcb");
}

void PreferX11OnWayland()
{
    const QByteArray platform = ChooseQtPlatform(QProcessEnvironment::systemEnvironment());
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
}

bool DisplayNamed(const QProcessEnvironment &environment)
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!environment.value(QLatin1String(name)).isEmpty())
            return true;
    }
    return false;
}

namespace {
sigset_t endSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    // A hang-up that whoever started us chose to ignore (nohup) stays ignored.
    struct sigaction hangUp = {};
    if (sigaction(SIGHUP, nullptr, &hangUp) != 0 || hangUp.sa_handler != SIG_IGN)
        sigaddset(&set, SIGHUP);
    return set;
}
} // namespace

void BlockEndSignals()
{
    const sigset_t set = endSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

EndSignals::EndSignals(QObject *parent) : QObject(parent)
{
    BlockEndSignals();   // at least in this thread, which reads them
    const sigset_t set = endSignalSet();
    fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0)
        return;
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &EndSignals::readSignals);
}

EndSignals::~EndSignals()
{
    delete notifier;   // before its descriptor closes
    if (fd >= 0)
        ::close(fd);
}

void EndSignals::readSignals()
{
    signalfd_siginfo info{};
    while (::read(fd, &info, sizeof info) == ssize_t(sizeof info))
        emit received(int(info.ssi_signo));
}
