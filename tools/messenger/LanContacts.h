// Keeps the messenger's contacts current with the players found on the LAN: a player found
// is added (or updated) with its address and listed online, one gone is listed offline;
// contacts set by hand stay as they are. Every change is written to the files at once.
#pragma once

#include "LanDiscovery.h"
#include "MessengerContacts.h"

#include <QHash>
#include <QString>

#include <functional>

class LanContacts
{
public:
    // At most this many players found on the LAN are kept.
    static constexpr int MaxLanContacts = 200;

    LanContacts(const QString &root, const QString &ownUin, std::function<void(const QString &)> say);
    // Reads the contacts and lists every one found on the LAN or the internet offline until it
    // is seen again.
    void start();
    void found(const LanService &service);
    void gone(const QString &key);
    // Every player found on the LAN is offline (the daemon went away, or the messenger stops).
    void allGone();

    // The contacts, shared with the players found on the internet; save() writes them.
    QList<BuddySetting> &all() { return contacts; }
    void save();
    BuddySetting *contact(const QString &uin);

private:
    QString root;
    QString ownUin;
    std::function<void(const QString &)> say;
    QList<BuddySetting> contacts;
    QHash<QString, QString> uinOfService;   // service key -> UIN, for the services taken
    QHash<QString, QString> nameOfService;  // service key -> service name
};
