#include "MessengerCommands.h"

#include "LanContacts.h"
#include "LanDiscovery.h"
#include "MessengerDefaults.h"
#include "MessengerFolder.h"
#include "XmppContacts.h"
#include "XmppOptions.h"
#include "Utilities.h"
#include "records.h"
#include "scramble_keys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTextStream>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString escaped(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        if (c == '\\')
            text += QLatin1String("\\\\");
        else if (c == '\r')
            text += QLatin1String("\\r");
        else if (c == '\n')
            text += QLatin1String("\\n");
        else if (c == '\t')
            text += QLatin1String("\\t");
        else if (byte < 0x20 || byte == 0x7F)
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else
            text += FromBytes(QByteArray(1, c));
    }
    return text;
}

} // namespace

namespace {

const char UsageText[] =
    "usage:\n"
    "  hollyfrost-messenger init [DIR] [--name NAME] [--uin UIN] [--display-name D] [--spoken-name S]\n"
    "        [--character FILE] [--language SUFFIX] [--game-port P] [--messenger-port P]\n"
    "        [--buddy UIN:NAME:ADDRESS[:unchecked]]...\n"
    "  hollyfrost-messenger launch [DIR [UIN]]\n"
    "  hollyfrost-messenger online [DIR] [--xmpp JID [--password-file FILE] [--ca FILE] [--stun HOST:PORT]]\n"
    "  hollyfrost-messenger buddies [DIR]\n"
    "  hollyfrost-messenger add|remove|accept|refuse DIR JID\n"
    "  hollyfrost-messenger listen [--port P] [--count N] [--folder DIR] [--address A]\n"
    "  hollyfrost-messenger lock FILE SECONDS\n"
    "  hollyfrost-messenger --help\n";

const char HelpText[] =
    "\n"
    "Makes the player's messenger folder and starts Hollyfrost Games from it.\n"
    "\n"
    "  init     makes the messenger folder DIR (default: ~/.local/share/hollyfrost/messenger)\n"
    "           with the game's data, the player's options and the buddies. Defaults: the\n"
    "           login name as NAME, a new six-digit UIN, the character Pip, ports 4012\n"
    "           (game) and 4010 (messenger). A buddy is UIN:NAME:ADDRESS with an IPv4\n"
    "           address; add :unchecked to leave it out of the reachable buddies.\n"
    "  launch   starts the game from DIR for the contact UIN and waits for it. Without\n"
    "           arguments it uses the default folder, makes it on first use, and starts the\n"
    "           game for the player's own UIN (this is what the menu entry does). While the\n"
    "           game runs, the player is online on the LAN, as with online.\n"
    "  online   announces the player of DIR on the LAN and keeps its buddies current with\n"
    "           the players found there (through the Avahi daemon), until stopped. With\n"
    "           --xmpp it also signs in to the XMPP account JID (password typed, or the\n"
    "           first line of FILE, which only you may read) and lists the account's\n"
    "           friends online with the game; --ca trusts one more CA for this run.\n"
    "           Their game datagrams are relayed over ICE (STUN/TURN servers from the\n"
    "           XMPP server, and --stun) from a local address each, 127.0.0.N.\n"
    "  buddies  lists the contacts of DIR, who is online and at what address, and the\n"
    "           friend requests waiting for an answer.\n"
    "  add      asks JID to be a friend (remove ends it); accept or refuse answers a\n"
    "           request. These go to the messenger online with --xmpp from DIR.\n"
    "  listen   prints each datagram that reaches the messenger port (on address A only, if\n"
    "           given) and answers \"ME\" on the game port of DIR's parameter file (4012).\n"
    "  lock     holds an advisory lock on FILE for SECONDS (the game waits for it).\n"
    "\n"
    "Bad arguments print the usage and end with status 2. See hollyfrost-messenger(1).\n";

} // namespace

int Usage(const QString &problem)
{
    if (!problem.isEmpty())
        err() << "hollyfrost-messenger: " << problem << "\n";
    err() << UsageText;
    err().flush();
    return 2;
}

int Help()
{
    out() << UsageText << HelpText;
    out().flush();
    return 0;
}

int RunInit(const QStringList &arguments)
{
    MessengerSetup setup;
    QString error;
    if (!ParseInitArguments(arguments, setup, error))
        return Usage(error);
    const QString library = CharacterLibrary();
    ApplyInitDefaults(setup, library);
    if (!CreateMessengerFolder(setup, DistributionFolder(), library, error)) {
        err() << "hollyfrost-messenger: " << error << "\n";
        return 1;
    }
    out() << "messenger folder ready: " << QFileInfo(setup.folder).absoluteFilePath() << "\n"
          << "player " << setup.name << ", UIN " << setup.uin << "\n";
    out().flush();
    return 0;
}

namespace {

// The game port named in a messenger folder's parameter file (default 4012).
quint16 FolderGamePort(const QString &folder)
{
    QFile file(folder + QStringLiteral("/HFparms.cfg"));
    if (!file.open(QIODevice::ReadOnly))
        return 4012;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(4096).trimmed();
        const qsizetype split = line.indexOf("&&");
        if (split < 0)
            continue;
        const QString name = FromBytes(ShiftText(line.left(split), ScrambleKeys::ParameterName, ShiftDirection::Up));
        const QString value = FromBytes(ShiftText(line.mid(split + 2), ScrambleKeys::ParameterValue, ShiftDirection::Up));
        bool ok = false;
        const uint port = value.toUInt(&ok);
        if (name.left(5) == QLatin1String("gampt") && ok && port > 0 && port < 65536)
            return static_cast<quint16>(port);
    }
    return 4012;
}

// The player's options from the folder's options file; defaults when it cannot be read.
Records::OptionsRecord FolderOptions(const QString &games)
{
    QFile file(games + QStringLiteral("/hollyfro.opt"));
    return Records::DecodeOptions(file.open(QIODevice::ReadOnly) ? file.read(1 << 16) : QByteArray());
}

// The player's own UIN from the folder's options file; empty when it cannot be read.
QString OwnUin(const QString &games)
{
    const qint32 uin = FolderOptions(games).UserUin;
    return uin > 0 ? QString::number(uin) : QString();
}

// The messenger folder named by the arguments of |command| (at most one), else the default
// folder. Returns 0, or the exit status after a message: 2 for more arguments, 1 when it is
// not a messenger folder.
int MessengerFolderArgument(const QString &command, const QStringList &arguments, QString &root)
{
    if (arguments.size() > 1)
        return Usage(QStringLiteral("%1 takes at most a folder").arg(command));
    root = arguments.isEmpty() ? DefaultMessengerFolder() : QFileInfo(arguments[0]).absoluteFilePath();
    if (!QFileInfo(root + QStringLiteral("/Games/hollyfro.opt")).isFile()) {
        err() << "hollyfrost-messenger: " << root << " is not a messenger folder (run init first)\n";
        err().flush();
        return 1;
    }
    return 0;
}

void say(const QString &line)
{
    err() << "hollyfrost-messenger: " << line << "\n";
    err().flush();
}

// One messenger at a time is online from a folder: it holds a lock on DIR/online.lock.
// Returns the descriptor holding it, or -1 when another messenger holds it.
int LockOnline(const QString &root)
{
    return LockMessengerFolder(root, 0);
}

// The player online on the LAN while it lives: announced, and the contacts kept current.
class LanPresence
{
public:
    LanPresence(const QString &root, const std::function<void()> &settled, const XmppOptions &xmpp = {},
                const QByteArray &password = {})
        : contacts(root, OwnUin(root + QStringLiteral("/Games")), say)
    {
        contacts.start();
        const Records::OptionsRecord options = FolderOptions(root + QStringLiteral("/Games"));
        const Announcement self{QString::number(options.UserUin), options.DisplayName.left(MaxAnnouncedName)};
        discovery = std::make_unique<LanDiscovery>(
            self, FolderGamePort(root),
            LanHandlers{[this](const LanService &service) { contacts.found(service); },
                        [this](const QString &key) { contacts.gone(key); internetAgain(); },
                        [this] { contacts.allGone(); internetAgain(); }, settled, say});
        if (!xmpp.jid.isEmpty()) {
            XmppSettings settings{xmpp.jid, password, xmpp.caFile, self, FolderGamePort(root), {}};
            if (IceServer stun; ParseStunServer(xmpp.stun, stun))
                settings.iceServers.append(stun);
            internet = std::make_unique<XmppContacts>(root, contacts, settings, say);
            settings.password.fill('\0');
        }
    }
    ~LanPresence()
    {
        internet.reset();    // signs out
        discovery.reset();   // withdraws the announcement first
        contacts.allGone();
    }

private:
    // A player gone from the LAN may still be online on the internet.
    void internetAgain()
    {
        if (internet)
            internet->apply();
    }

    LanContacts contacts;
    std::unique_ptr<LanDiscovery> discovery;
    std::unique_ptr<XmppContacts> internet;
};

} // namespace

int RunLaunch(const QStringList &arguments)
{
    if (arguments.size() > 2)
        return Usage(QStringLiteral("launch takes a folder and at most one UIN"));
    const QString root = arguments.isEmpty() ? DefaultMessengerFolder() : QFileInfo(arguments[0]).absoluteFilePath();
    QStringList gameArguments = arguments.mid(1);
    if (arguments.isEmpty()) {
        // The menu's start: the default folder, made on first use and kept afterwards.
        if (!QFileInfo::exists(root + QStringLiteral("/hollyfro.exe")) && RunInit({root}) != 0)
            return 1;
        gameArguments = QStringList{OwnUin(root + QStringLiteral("/Games"))};
    }
    const QString games = root + QStringLiteral("/Games");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINDIR"), root + QStringLiteral("/Windows"));
    // The game's port is shared with the relays to friends on the internet (127.0.0.N).
    environment.insert(QStringLiteral("HOLLYFROST_SHARE_GAME_PORT"), QStringLiteral("1"));
    // A folder made by a build tree holds its own copy of the game; an installed messenger
    // starts the installed game on the folder's data.
    QString program = games + QStringLiteral("/hollyfrost-games");
    if (!QFileInfo(program).isExecutable()) {
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/hollyfrost-games");
        environment.insert(QStringLiteral("HOLLYFROST_PROGRAM_FOLDER"), games + u'/');
    }
    if (!QFileInfo(program).isExecutable() || !QFileInfo(games + QStringLiteral("/hollyfro.opt")).isFile()) {
        err() << "hollyfrost-messenger: " << root << " is not a messenger folder with a game (run init first)\n";
        return 1;
    }
    // The game finds its messenger through the registry: point it at this folder.
    if (!RegWriteText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Main"),
                      QStringLiteral("exedir"), root + QStringLiteral("/hollyfro.exe"))) {
        err() << "hollyfrost-messenger: cannot write the registry " << RegistryFilePath() << "\n";
        return 1;
    }
    // The buddies already on the LAN are in the files before the game reads them (for at
    // most 3 s); then the game runs while the player stays online.
    QProcess game;
    const auto startGame = [&game] {
        if (game.state() == QProcess::NotRunning && game.error() == QProcess::UnknownError)
            game.start();
    };
    QObject::connect(&game, &QProcess::finished, &game, [] { QCoreApplication::quit(); });
    QObject::connect(&game, &QProcess::errorOccurred, &game, [](QProcess::ProcessError) { QCoreApplication::quit(); });
    // When "online" runs for the folder it keeps the files current: the game starts at once.
    const int onlineLock = LockOnline(root);
    std::unique_ptr<LanPresence> presence;
    if (onlineLock >= 0)
        presence = std::make_unique<LanPresence>(root, startGame);
    QTimer::singleShot(onlineLock >= 0 ? 3000 : 0, &game, startGame);
    game.setProgram(program);
    game.setArguments(gameArguments);
    game.setWorkingDirectory(games);
    game.setProcessEnvironment(environment);
    game.setProcessChannelMode(QProcess::ForwardedChannels);
    game.setInputChannelMode(QProcess::ForwardedInputChannel);
    QCoreApplication::exec();
    presence.reset();
    if (onlineLock >= 0)
        ::close(onlineLock);
    if (game.error() == QProcess::FailedToStart) {
        err() << "hollyfrost-messenger: cannot start " << program << ": " << game.errorString() << "\n";
        return 1;
    }
    return game.exitStatus() == QProcess::NormalExit ? game.exitCode() : 1;
}

int RunListen(const QStringList &arguments)
{
    int port = 4010;
    int count = 0;
    quint16 gamePort = 4012;
    QHostAddress address(QHostAddress::AnyIPv4);
    for (qsizetype i = 0; i < arguments.size(); i += 2) {
        bool ok = false;
        const QString argument = i + 1 < arguments.size() ? arguments[i + 1] : QString();
        const int value = argument.toInt(&ok);
        if (arguments[i] == QLatin1String("--port") && ok && value > 0 && value < 65536)
            port = value;
        else if (arguments[i] == QLatin1String("--count") && ok && value > 0)
            count = value;
        else if (arguments[i] == QLatin1String("--folder") && !argument.isEmpty())
            gamePort = FolderGamePort(argument);
        else if (arguments[i] == QLatin1String("--address") && QHostAddress(argument).protocol() == QAbstractSocket::IPv4Protocol)
            address = QHostAddress(argument);
        else
            return Usage(QStringLiteral("bad listen arguments"));
    }
    QUdpSocket socket;
    if (!socket.bind(address, static_cast<quint16>(port))) {
        err() << "hollyfrost-messenger: cannot listen on port " << port << ": " << socket.errorString() << "\n";
        return 1;
    }
    out() << "listening on port " << port << "\n";
    out().flush();
    int received = 0;
    QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [&] {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            const QByteArray data = datagram.data();
            const QByteArray code = data.left(2);
            const QHostAddress sender(datagram.senderAddress().toIPv4Address());
            out() << escaped(code) << ' ' << sender.toString() << ' ' << escaped(data.mid(2)) << "\n";
            out().flush();
            // As the messenger does: the game hears the acknowledgement on its game port.
            if (code == "ME")
                socket.writeDatagram(QByteArray("AKHollyfrost Messenger"), sender, gamePort);
            if (count > 0 && ++received >= count)
                QCoreApplication::quit();
        }
    });
    return QCoreApplication::exec();
}

int RunOnline(const QStringList &givenArguments)
{
    QStringList arguments = givenArguments;
    XmppOptions xmpp;
    QString error;
    if (!TakeXmppOptions(arguments, xmpp, error))
        return Usage(error);
    QString root;
    if (const int status = MessengerFolderArgument(QStringLiteral("online"), arguments, root))
        return status;
    QByteArray password;
    if (!xmpp.jid.isEmpty() && !ReadXmppPassword(xmpp, password, error)) {
        say(error);
        return 1;
    }
    const int onlineLock = LockOnline(root);
    if (onlineLock < 0) {
        err() << "hollyfrost-messenger: another messenger is online from " << root << "\n";
        return 1;
    }
    // Ctrl+C and kill end the loop, so that the announcement is withdrawn and the files
    // are left current. Blocked before Avahi's thread starts, so that it inherits the mask.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    const int stopFd = signalfd(-1, &stops, SFD_CLOEXEC);
    QSocketNotifier stopped(stopFd, QSocketNotifier::Read);
    QObject::connect(&stopped, &QSocketNotifier::activated, &stopped, [] { QCoreApplication::quit(); });
    {
        const LanPresence presence(root, [] {}, xmpp, password);
        password.fill('\0');
        out() << "online from " << root << "; stop with Ctrl+C\n";
        out().flush();
        QCoreApplication::exec();
    }
    ::close(stopFd);
    ::close(onlineLock);
    return 0;
}

int RunBuddies(const QStringList &arguments)
{
    QString root;
    if (const int status = MessengerFolderArgument(QStringLiteral("buddies"), arguments, root))
        return status;
    // One buddy a line: UIN, name, online or offline, address, where the contact comes from.
    for (const BuddySetting &contact : LoadContacts(root)) {
        out() << contact.uin << '\t' << contact.name << '\t' << (contact.online ? "online" : "offline") << '\t'
              << (contact.address.isEmpty() ? QStringLiteral("-") : contact.address) << '\t'
              << (contact.foundOnLan        ? "found on the LAN"
                  : contact.foundOnInternet ? "found on the internet"
                                            : "set by hand")
              << (contact.checked ? "" : ", unchecked") << '\n';
    }
    // The friend requests waiting for an answer, from the messenger online with --xmpp.
    QFile internet(root + u'/' + InternetStateFile);
    if (internet.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : internet.read(1 << 20).split('\n')) {
            if (line.startsWith("request\t"))
                out() << PlainText(QString::fromUtf8(line.mid(8))) << "\tasks to see you online: accept or refuse\n";
        }
    }
    out().flush();
    return 0;
}

int RunFriendCommand(const QString &verb, const QStringList &arguments)
{
    if (arguments.size() != 2)
        return Usage(QStringLiteral("%1 takes a folder and a JID").arg(verb));
    QString root;
    if (const int status = MessengerFolderArgument(verb, arguments.mid(0, 1), root))
        return status;
    QString error;
    const QString answer = SendMessengerCommand(root, verb + u' ' + arguments[1], error);
    if (answer.startsWith(QLatin1String("ok: "))) {
        out() << answer.mid(4) << "\n";
        return 0;
    }
    say(answer.isEmpty() ? error : PlainText(answer.mid(answer.indexOf(u' ') + 1)));
    return 1;
}

int RunLock(const QStringList &arguments)
{
    bool ok = false;
    const double seconds = arguments.size() == 2 ? arguments[1].toDouble(&ok) : 0.0;
    if (!ok || seconds < 0)
        return Usage(QStringLiteral("lock needs a file and a number of seconds"));
    const int fd = ::open(QFile::encodeName(arguments[0]).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
        err() << "hollyfrost-messenger: cannot lock " << arguments[0] << ": " << strerror(errno) << "\n";
        return 1;
    }
    out() << "locked " << arguments[0] << "\n";
    out().flush();
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    ::close(fd);
    out() << "released " << arguments[0] << "\n";
    return 0;
}
