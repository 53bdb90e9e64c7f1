// Keeps the messenger's contacts current with the players online on the internet: the XMPP
// roster is the list of friends; one whose presence carries a good game element is listed
// online, with the local address of its datagram link (IceLinks) in UINIP.lst. A player also
// found on the LAN is reached there. Subscription requests wait
// for the player's answer; the state of the roster is written to internet.txt for
// "buddies". The commands add, remove, accept and refuse come through a local socket in the
// messenger folder, which only its owner can use.
#pragma once

#include "IceLinks.h"
#include "LanContacts.h"
#include "XmppClient.h"

#include <QHash>
#include <QLocalServer>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

// The messenger folder's command socket and the roster's state file.
inline const QString CommandSocketFile = QStringLiteral("messenger.socket");
inline const QString InternetStateFile = QStringLiteral("internet.txt");

class XmppContacts
{
public:
    // At most this many players online on the internet, and this many requests waiting.
    static constexpr int MaxInternetContacts = 200;
    static constexpr int MaxRequests = 200;

    XmppContacts(const QString &root, LanContacts &book, const XmppSettings &settings,
                 std::function<void(const QString &)> say);
    ~XmppContacts();   // signs out; the friends on the internet are listed offline
    XmppContacts(const XmppContacts &) = delete;
    XmppContacts &operator=(const XmppContacts &) = delete;
    // Lists the contacts found on the internet again after the LAN changed (one gone from
    // the LAN may still be online on the internet).
    void apply();

private:
    struct RosterEntry {
        QString subscription;
        bool asking = false;
    };
    void roster(const QList<XmppRosterItem> &items, bool whole);
    void request(const QString &jid);
    void presence(const XmppPresence &presence);
    void signedOut();
    QString command(const QString &line);
    void writeState();
    void shareFriends();
    void offline(const QString &jid);
    void refuse(const XmppPresence &presence, const QString &why);

    QString root;
    LanContacts &book;
    QString ownUin;
    std::function<void(const QString &)> say;
    bool signedIn = false;
    QHash<QString, RosterEntry> entries;      // bare JID -> subscription
    QSet<QString> requests;                   // bare JIDs asking to see us
    QHash<QString, Announcement> online;      // full JID -> its game element, checked
    QHash<QString, QString> linkAddress;      // UIN -> the local address of its link
    QLocalServer server;
    std::unique_ptr<IceLinks> links;
    std::unique_ptr<XmppClient> client;
};

// Sends one command line to the online messenger of |root| and returns its answer line;
// empty with |error| set when no messenger answers.
QString SendMessengerCommand(const QString &root, const QString &line, QString &error);
