// The messenger's contacts: its own list (contacts.txt in the messenger folder) and the
// files it writes from it for the game (online.txt, checkedusr.lst, UINIP.lst), and the
// check of what another machine announces about its user on the LAN.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct BuddySetting {
    QString uin;
    QString name;
    QString address;
    bool checked = true;
    bool online = true;       // a contact set by hand is always listed online
    bool foundOnLan = false;  // found through the LAN's service discovery, not set by hand
    bool foundOnInternet = false;  // a friend of the XMPP account online with the game
};

// Replaces the file whole (a temporary file renamed over it), so that a reader sees the old
// or the new content, never a part.
bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString &error);

// The messenger's own list of contacts, in the messenger folder.
inline const QString ContactListFile = QStringLiteral("contacts.txt");

// The game's list files for these contacts, as init writes them: online.txt lists every
// contact (one that is offline with the status "=", which the game skips), checkedusr.lst
// its checked flag, UINIP.lst the address of each that has one.
struct ContactFiles {
    QByteArray online, checked, addresses;
};
ContactFiles EncodeContactFiles(const QList<BuddySetting> &contacts);

// contacts.txt: one line per contact, UIN, name, address, "hand", "lan" or "internet", "checked" or
// "unchecked", "online" or "offline", separated by TABs.
QByteArray EncodeContactList(const QList<BuddySetting> &contacts);
// Reads the messenger folder's contacts. A folder made before contacts.txt existed gives
// its contacts from the game's files (every one set by hand). Bounded; bad lines are skipped.
QList<BuddySetting> LoadContacts(const QString &root);
// Writes contacts.txt and the game's files, each replaced whole as init writes them.
bool SaveContacts(const QString &root, const QList<BuddySetting> &contacts, QString &error);

// What a machine on the LAN announces in the TXT record of its service.
struct Announcement {
    QString uin;
    QString name;
};
// TXT records are read only up to this size; a larger one is refused.
constexpr int MaxAnnouncementBytes = 400;
// Longest announced name: the game's online list keeps 35 characters.
constexpr int MaxAnnouncedName = 35;
// Checks the TXT strings ("key=value") of an announcement; empty when it is good, else why
// it is refused. The UIN must be 1 to 10 digits fitting the game's 32-bit records, the name
// 1 to 35 characters of plain UTF-8 text with no control character.
QString ParseAnnouncement(const QList<QByteArray> &strings, Announcement &announcement);
// The text with every control or format character (TAB, line break, escape) shown as "?",
// for names from the LAN written to a terminal.
QString PlainText(const QString &text);
// The TXT strings announcing this user.
QList<QByteArray> AnnouncementStrings(const Announcement &announcement);
