// The datagram links to friends on the internet: an ICE session (libnice) with each friend's
// messenger online with the game, signalled through XMPP as Jingle, with the STUN and TURN
// servers the XMPP server hands out (or given as options). Each friend gets a local address
// of its own, 127.0.0.N, and its link relays both ways between the game's port at that
// address and the friend's ICE stream: the game sends and receives as on a LAN, and tells the
// players apart by address. Only the game's port is relayed; a datagram larger than the game
// takes, or beyond MaxDatagramsPerSecond from one friend, is dropped. A link that fails (a
// network change, a peer gone quiet) is opened again by the side that opened it.
//
// libnice runs on the GLib main context, which Qt's event loop runs on this thread; the
// links live on the thread that made them.
#pragma once

#include "XmppJingle.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

class IceLinks
{
public:
    static constexpr int MaxDatagramBytes = 1517;   // the game's largest datagram
    static constexpr int MaxDatagramsPerSecond = 200;

    IceLinks(quint16 gamePort, const QList<IceServer> &servers, std::function<void(const JingleMessage &)> send,
             std::function<void(const QString &)> say);
    ~IceLinks();
    IceLinks(const IceLinks &) = delete;
    IceLinks &operator=(const IceLinks &) = delete;

    // Signed in as |ownJid| (a full JID): the smaller of two full JIDs opens their link.
    void signedIn(const QString &ownJid);
    // The servers that the XMPP server hands out, beside those given as options.
    void setServers(const QList<IceServer> &servers);
    // Opens the link to the friend at |peer| (a full JID), if not open yet, and returns the
    // local address that stands for it; empty when there is none to give.
    QString open(const QString &peer);
    void close(const QString &peer);
    void closeAll();
    // A Jingle message from a friend.
    void received(const JingleMessage &message);

    struct Link;

private:
    void start(Link &link, const QByteArray &sid);
    void tick();
    friend struct Link;

    quint16 gamePort;
    QList<IceServer> configured;
    QList<IceServer> servers;   // resolved to addresses
    std::function<void(const JingleMessage &)> send;
    std::function<void(const QString &)> say;
    QString ownJid;
    QHash<QString, quint8> aliasOf;   // bare JID -> N of 127.0.0.N, kept while the messenger runs
    std::map<QString, std::unique_ptr<Link>> links;   // full JID (in lower case) -> link
    QTimer ticker;
    QTimer pump;   // runs the GLib context when Qt's loop does not
};

// Reads --stun HOST:PORT (a server to learn the public address from).
bool ParseStunServer(const QString &text, IceServer &server);
