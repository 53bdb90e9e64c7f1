// Signs the player in to an XMPP account (libstrophe) and keeps the account's contacts and
// their presence flowing to the owner. TLS is mandatory (STARTTLS) with the server's
// certificate checked against the system's CA store (and one more CA when asked); SASL
// prefers SCRAM, and a plain password is only ever sent inside TLS. After a loss the client
// signs in again with growing pauses.
//
// libstrophe waits in its own select(); it runs on a thread of its own, as Avahi does for the
// LAN. Everything it receives is handed to the handlers on the thread that made the object;
// the owner's requests are queued and run on the XMPP thread.
#pragma once

#include "MessengerContacts.h"
#include "XmppJingle.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

// The namespace of the element our presence carries: <game xmlns=... uin=... name=.../>.
inline constexpr char GameNamespace[] = "urn:hollyfrost:game:0";
// A received game element larger than this (as XML) is refused.
constexpr int MaxGameElementBytes = 400;

struct XmppSettings {
    QString jid;         // the account, user@domain
    QByteArray password;
    QString caFile;      // one more CA to trust for this run, else empty
    Announcement self;   // what our presence tells subscribed contacts
    quint16 gamePort = 4012;        // the game's port, relayed to friends
    QList<IceServer> iceServers;    // STUN servers given as options
};

struct XmppRosterItem {
    QString jid;
    QString subscription;   // none, to, from, both or remove
    bool asking = false;    // our subscription request is not answered yet
};

// One presence of a contact's resource, as received (unchecked).
struct XmppPresence {
    QString from;            // the full JID
    bool available = false;
    int gameElements = 0;    // how many elements of our namespace it carries
    qsizetype gameBytes = 0; // the size of the first one as XML
    QList<QByteArray> game;  // the first one's "uin=..." and "name=..." strings
};

struct XmppHandlers {
    // Signed in, as this full JID.
    std::function<void(const QString &boundJid)> signedIn;
    // Signed out: every contact's presence is gone.
    std::function<void()> signedOut;
    // Roster items: the whole roster (|whole|) or a change pushed by the server.
    std::function<void(const QList<XmppRosterItem> &, bool whole)> roster;
    // Someone asks to see our presence.
    std::function<void(const QString &bareJid)> request;
    std::function<void(const XmppPresence &)> presence;
    // A friend's Jingle message (a stranger's is refused before).
    std::function<void(const JingleMessage &)> jingle;
    // The STUN and TURN servers that the XMPP server hands out.
    std::function<void(const QList<IceServer> &)> services;
    // A line for standard error.
    std::function<void(const QString &)> say;
};

class XmppClient
{
public:
    XmppClient(const XmppSettings &settings, XmppHandlers handlers);
    ~XmppClient();   // signs out (the server tells the contacts we are offline)
    XmppClient(const XmppClient &) = delete;
    XmppClient &operator=(const XmppClient &) = delete;

    // Each runs once signed in; while the connection is lost it waits for the next sign-in.
    // False when too many wait already (the request is dropped).
    bool add(const QString &bareJid);       // into the roster, and asks to see its presence
    bool remove(const QString &bareJid);    // out of the roster, both subscriptions ended
    bool answer(const QString &bareJid, bool accept);
    // Sent now if signed in, else dropped (a session is opened again after a sign-in).
    void send(const JingleMessage &message);
    // The bare JIDs whose Jingle messages are taken; anyone else's are refused.
    void setFriends(const QSet<QString> &bareJids);

    struct Private;

private:
    std::unique_ptr<Private> d;
};

// Whether |jid| is a bare JID that we send: local@domain, bounded, no space or control.
bool IsBareJid(const QString &jid);
