// The options of "online" that sign the player in to an XMPP account, and the password.
#pragma once

#include "XmppClient.h"

#include <QStringList>

struct XmppOptions {
    QString jid;            // empty: the LAN only
    QString passwordFile;
    QString caFile;
    QString stun;           // HOST:PORT of a STUN server, else only the XMPP server's
};

// Takes --xmpp JID, --password-file FILE, --ca FILE and --stun HOST:PORT out of |arguments|. Returns false with
// |error| set for a bad or missing value, or --password-file or --ca without --xmpp.
bool TakeXmppOptions(QStringList &arguments, XmppOptions &options, QString &error);

// The account's password: the first line of the password file, which must be a regular file
// of ours that no one else can read, or else typed at the terminal without echo. Returns
// false with |error| set when there is none.
bool ReadXmppPassword(const XmppOptions &options, QByteArray &password, QString &error);
