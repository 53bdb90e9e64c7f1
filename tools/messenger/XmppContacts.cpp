#include "XmppContacts.h"

#include <QLocalSocket>
#include <QObject>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// A command line is a verb and a JID.
constexpr qint64 MaxCommandBytes = 1100;
constexpr int MaxRosterEntries = 1000;

QString bareOf(const QString &jid)
{
    return jid.section(u'/', 0, 0);
}

bool sees(const QString &subscription)
{
    return subscription == QLatin1String("to") || subscription == QLatin1String("both");
}

// Whether the process at the other end of |socket| runs as our user.
bool sameUser(const QLocalSocket &socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
           && peer.uid == ::getuid();
}

} // namespace

XmppContacts::XmppContacts(const QString &root, LanContacts &book, const XmppSettings &settings,
                           std::function<void(const QString &)> say)
    : root(root), book(book), ownUin(settings.self.uin), say(std::move(say))
{
    writeState();
    const QString path = root + u'/' + CommandSocketFile;
    server.setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(path);
    if (!server.listen(path))
        this->say(QStringLiteral("cannot open %1 (%2): add, remove, accept and refuse do not work")
                      .arg(path, server.errorString()));
    QObject::connect(&server, &QLocalServer::newConnection, &server, [this] {
        while (QLocalSocket *socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
            if (!sameUser(*socket)) {
                socket->abort();
                continue;
            }
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > MaxCommandBytes)
                        socket->abort();
                    return;
                }
                const QString line = QString::fromUtf8(socket->readLine(MaxCommandBytes)).trimmed();
                socket->write(command(line).toUtf8() + '\n');
                socket->disconnectFromServer();
            });
        }
    });
    links = std::make_unique<IceLinks>(
        settings.gamePort, settings.iceServers,
        [this](const JingleMessage &message) {
            if (client)
                client->send(message);
        },
        this->say);
    client = std::make_unique<XmppClient>(
        settings, XmppHandlers{[this](const QString &jid) {
                                   signedIn = true;
                                   links->signedIn(jid);
                               },
                               [this] { signedOut(); },
                               [this](const QList<XmppRosterItem> &items, bool whole) { roster(items, whole); },
                               [this](const QString &jid) { request(jid); },
                               [this](const XmppPresence &presence) { this->presence(presence); },
                               [this](const JingleMessage &message) { links->received(message); },
                               [this](const QList<IceServer> &servers) { links->setServers(servers); }, this->say});
}

XmppContacts::~XmppContacts()
{
    links->closeAll();
    client.reset();   // signs out first
    online.clear();
    apply();
    // The server hands the requests again at the next sign-in.
    requests.clear();
    writeState();
}

void XmppContacts::apply()
{
    QHash<QString, Announcement> byUin;
    for (const Announcement &player : std::as_const(online))
        byUin.insert(player.uin, player);
    QList<BuddySetting> &contacts = book.all();
    bool changed = false;
    for (BuddySetting &contact : contacts) {
        if (contact.foundOnInternet && contact.online && !byUin.contains(contact.uin)) {
            contact.online = false;
            changed = true;
        }
    }
    for (const Announcement &player : std::as_const(byUin)) {
        BuddySetting *known = book.contact(player.uin);
        if (known && (known->foundOnLan ? known->online : !known->foundOnInternet))
            continue;   // reached on the LAN, or set by hand
        if (!known) {
            // Room for a new one: the oldest friend from the internet who is offline goes.
            const auto internet = [](const BuddySetting &c) { return c.foundOnInternet; };
            if (std::count_if(contacts.cbegin(), contacts.cend(), internet) >= MaxInternetContacts) {
                const auto stale = std::find_if(contacts.begin(), contacts.end(),
                                                [](const BuddySetting &c) { return c.foundOnInternet && !c.online; });
                if (stale == contacts.end())
                    continue;
                contacts.erase(stale);
            }
            contacts.append(BuddySetting{player.uin, player.name, QString(), true, false, false, true});
            known = &contacts.last();
        } else if (known->foundOnInternet && known->online && known->name == player.name
                   && known->address == linkAddress.value(player.uin)) {
            continue;
        }
        known->foundOnLan = false;
        known->foundOnInternet = true;
        known->address = linkAddress.value(player.uin);
        known->name = player.name;
        known->online = true;
        changed = true;
    }
    if (changed)
        book.save();
}

void XmppContacts::roster(const QList<XmppRosterItem> &items, bool whole)
{
    if (whole)
        entries.clear();
    for (const XmppRosterItem &item : items) {
        const QString jid = item.jid.toLower();
        if (item.subscription == QLatin1String("remove"))
            entries.remove(jid);
        else if (entries.contains(jid) || entries.size() < MaxRosterEntries)
            entries.insert(jid, RosterEntry{item.subscription, item.asking});
        if (item.subscription == QLatin1String("from") || item.subscription == QLatin1String("both"))
            requests.remove(jid);
    }
    // A presence counts only from a friend whose presence we are subscribed to.
    const QStringList jids = online.keys();
    for (const QString &jid : jids) {
        if (!sees(entries.value(bareOf(jid)).subscription))
            offline(jid);
    }
    shareFriends();
    writeState();
}

void XmppContacts::request(const QString &jid)
{
    const QString friendJid = jid.toLower();
    if (requests.contains(friendJid))
        return;
    if (requests.size() >= MaxRequests) {
        say(QStringLiteral("ignored a friend request from %1: %2 requests wait already")
                .arg(PlainText(friendJid.left(100)))
                .arg(MaxRequests));
        return;
    }
    requests.insert(friendJid);
    say(QStringLiteral("%1 asks to see you online: answer with accept or refuse").arg(PlainText(friendJid)));
    writeState();
}

void XmppContacts::refuse(const XmppPresence &presence, const QString &why)
{
    say(QStringLiteral("ignored the presence of %1 on the internet: %2").arg(PlainText(presence.from.left(200)), why));
}

void XmppContacts::presence(const XmppPresence &presence)
{
    const QString jid = presence.from.toLower();
    if (!presence.available || presence.gameElements == 0)
        return offline(jid);
    if (!sees(entries.value(bareOf(jid)).subscription))
        return refuse(presence, QStringLiteral("not a friend"));
    if (presence.gameElements > 1)
        return refuse(presence, QStringLiteral("it carries %1 game elements").arg(presence.gameElements));
    if (presence.gameBytes > MaxGameElementBytes)
        return refuse(presence, QStringLiteral("its game element is too long (%1 bytes, at most %2)")
                                    .arg(presence.gameBytes)
                                    .arg(MaxGameElementBytes));
    Announcement player;
    if (const QString problem = ParseAnnouncement(presence.game, player); !problem.isEmpty())
        return refuse(presence, QString(problem).replace(QStringLiteral("its TXT record"),
                                                         QStringLiteral("its game element")));
    if (player.uin == ownUin)
        return refuse(presence, QStringLiteral("it announces our own UIN %1").arg(ownUin));
    int others = 0;
    for (auto it = online.cbegin(); it != online.cend(); ++it) {
        if (it.value().uin == player.uin && bareOf(it.key()) != bareOf(jid))
            return refuse(presence, QStringLiteral("UIN %1 is already announced by %2").arg(player.uin, bareOf(it.key())));
        others += it.value().uin != player.uin;
    }
    if (others >= MaxInternetContacts)
        return refuse(presence, QStringLiteral("%1 players are online on the internet already").arg(MaxInternetContacts));
    if (const BuddySetting *known = book.contact(player.uin); known && !known->foundOnLan && !known->foundOnInternet)
        return refuse(presence, QStringLiteral("UIN %1 is a contact set by hand: it stays as set").arg(player.uin));
    online.insert(jid, player);
    linkAddress.insert(player.uin, links->open(presence.from));
    apply();
}

void XmppContacts::offline(const QString &jid)
{
    const auto found = online.constFind(jid);
    if (found == online.cend())
        return;
    linkAddress.remove(found->uin);
    links->close(jid);
    online.erase(found);
    apply();
}

// Jingle messages are taken only from the friends whose presence we see.
void XmppContacts::shareFriends()
{
    QSet<QString> friends;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (sees(it.value().subscription))
            friends.insert(it.key());
    }
    client->setFriends(friends);
}

void XmppContacts::signedOut()
{
    signedIn = false;
    links->closeAll();
    online.clear();
    linkAddress.clear();
    apply();
}

QString XmppContacts::command(const QString &line)
{
    const QString verb = line.section(u' ', 0, 0);
    const QString jid = line.section(u' ', 1).trimmed().toLower();
    if (!IsBareJid(jid))
        return QStringLiteral("error: not a JID of the form name@server: %1").arg(PlainText(jid.left(100)));
    if (!signedIn)
        return QStringLiteral("error: not signed in to the internet now; try again later");
    // A request made as the connection drops waits for the next sign-in; when too many wait
    // it is refused here rather than lost.
    const QString busy = QStringLiteral("error: too many requests wait for the XMPP server; try again later");
    if (verb == QLatin1String("add")) {
        if (!client->add(jid))
            return busy;
        if (requests.remove(jid))
            client->answer(jid, true);
        writeState();
        return QStringLiteral("ok: asked %1 to be a friend").arg(jid);
    }
    if (verb == QLatin1String("remove")) {
        if (!client->remove(jid))
            return busy;
        requests.remove(jid);
        writeState();
        return QStringLiteral("ok: removed %1").arg(jid);
    }
    if (verb != QLatin1String("accept") && verb != QLatin1String("refuse"))
        return QStringLiteral("error: unknown command %1").arg(PlainText(verb.left(20)));
    if (!requests.contains(jid))
        return QStringLiteral("error: %1 has not asked to see you online").arg(jid);
    const bool accept = verb == QLatin1String("accept");
    if (!client->answer(jid, accept))
        return busy;
    requests.remove(jid);
    const RosterEntry entry = entries.value(jid);
    if (accept && !sees(entry.subscription) && !entry.asking)
        client->add(jid);   // and we ask to see them
    writeState();
    return QStringLiteral("ok: %1 %2").arg(accept ? QStringLiteral("accepted") : QStringLiteral("refused"), jid);
}

void XmppContacts::writeState()
{
    // One line each: "friend", the JID, the subscription, "asking" while ours is not answered;
    // or "request" and the JID of someone asking to see us.
    QByteArray text;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        text += "friend\t" + it.key().toUtf8() + '\t' + it.value().subscription.toUtf8()
                + (it.value().asking ? "\tasking\n" : "\n");
    for (const QString &jid : std::as_const(requests))
        text += "request\t" + jid.toUtf8() + '\n';
    QString error;
    if (!WriteWholeFile(root + u'/' + InternetStateFile, text, error))
        say(error);
}

QString SendMessengerCommand(const QString &root, const QString &line, QString &error)
{
    QLocalSocket socket;
    socket.connectToServer(root + u'/' + CommandSocketFile);
    if (!socket.waitForConnected(2000)) {
        error = QStringLiteral("no messenger is online with --xmpp from %1").arg(root);
        return QString();
    }
    socket.write(line.toUtf8() + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
    }
    if (!socket.canReadLine()) {
        error = QStringLiteral("the messenger online from %1 did not answer").arg(root);
        return QString();
    }
    return QString::fromUtf8(socket.readLine(MaxCommandBytes)).trimmed();
}
