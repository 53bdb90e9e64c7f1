#include "XmppOptions.h"

#include "IceLinks.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr qint64 MaxPasswordBytes = 1024;
}

bool TakeXmppOptions(QStringList &arguments, XmppOptions &options, QString &error)
{
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &option = arguments[i];
        QString *target = option == QLatin1String("--xmpp")            ? &options.jid
                          : option == QLatin1String("--password-file") ? &options.passwordFile
                          : option == QLatin1String("--ca")            ? &options.caFile
                          : option == QLatin1String("--stun")          ? &options.stun
                                                                       : nullptr;
        if (!target) {
            rest.append(option);
            continue;
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            error = QStringLiteral("%1 needs a value").arg(option);
            return false;
        }
        *target = arguments[++i];
    }
    arguments = rest;
    if (!options.jid.isEmpty() && !IsBareJid(options.jid)) {
        error = QStringLiteral("--xmpp needs an account of the form name@server");
        return false;
    }
    if (options.jid.isEmpty()
        && (!options.passwordFile.isEmpty() || !options.caFile.isEmpty() || !options.stun.isEmpty())) {
        error = QStringLiteral("--password-file, --ca and --stun go with --xmpp");
        return false;
    }
    if (IceServer stun; !options.stun.isEmpty() && !ParseStunServer(options.stun, stun)) {
        error = QStringLiteral("--stun needs a server of the form host:port");
        return false;
    }
    if (!options.caFile.isEmpty() && !QFileInfo(options.caFile).isFile()) {
        error = QStringLiteral("the CA file %1 is not a file").arg(options.caFile);
        return false;
    }
    return true;
}

bool ReadXmppPassword(const XmppOptions &options, QByteArray &password, QString &error)
{
    if (!options.passwordFile.isEmpty()) {
        const QByteArray path = QFile::encodeName(options.passwordFile);
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        struct stat status{};
        if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            error = QStringLiteral("the password file %1 is not a regular file that can be read").arg(options.passwordFile);
        } else if (status.st_uid != ::getuid() || (status.st_mode & 077) != 0) {
            error = QStringLiteral("the password file %1 must be yours and readable by you alone (chmod 600)")
                        .arg(options.passwordFile);
        } else {
            QFile file;
            if (file.open(fd, QIODevice::ReadOnly))
                password = file.readLine(MaxPasswordBytes);
        }
        if (fd >= 0)
            ::close(fd);
        if (!error.isEmpty())
            return false;
    } else {
        // Typed at the terminal, without echo.
        const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
        termios saved{};
        if (tty < 0 || ::tcgetattr(tty, &saved) != 0) {
            if (tty >= 0)
                ::close(tty);
            error = QStringLiteral("no terminal to ask for the password of %1: use --password-file").arg(options.jid);
            return false;
        }
        const QByteArray prompt = "password for " + options.jid.toUtf8() + ": ";
        (void)!::write(tty, prompt.constData(), static_cast<size_t>(prompt.size()));
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
        char byte = 0;
        while (password.size() < MaxPasswordBytes && ::read(tty, &byte, 1) == 1 && byte != '\n')
            password += byte;
        ::tcsetattr(tty, TCSAFLUSH, &saved);
        (void)!::write(tty, "\n", 1);
        ::close(tty);
    }
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    if (password.isEmpty()) {
        error = QStringLiteral("no password for %1").arg(options.jid);
        return false;
    }
    return true;
}
