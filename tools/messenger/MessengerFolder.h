// Creates a messenger folder as the real messenger would leave it for the game.
#pragma once

#include "MessengerContacts.h"

#include <QList>
#include <QString>
#include <QStringList>

struct MessengerSetup {
    QString folder;
    QString name;
    qint32 uin = 0;
    QString displayName;
    QString spokenName;
    QString characterFile;
    QString languageSuffix;
    bool languageGiven = false;   // --language was given (an empty suffix too)
    int gamePort = 4012;
    int messengerPort = 4010;
    QList<BuddySetting> buddies;
};

// Parses the arguments after "init"; on error returns false with a reason. What is left out
// stays empty (0 for the UIN) for ApplyInitDefaults to fill.
bool ParseInitArguments(const QStringList &arguments, MessengerSetup &setup, QString &error);
// One messenger at a time writes a folder: the holder of an exclusive lock on DIR/online.lock
// ("online" and "launch" while they keep the contacts current, "init" while it writes).
// Tries for |waitMs| milliseconds; returns the descriptor holding the lock, or -1.
int LockMessengerFolder(const QString &root, int waitMs);
// Writes the folder, holding its lock (waiting briefly for a messenger online from it);
// on failure puts back every file and folder as it was found and
// returns false with a reason.
bool CreateMessengerFolder(const MessengerSetup &setup, const QString &distributionFolder,
                           const QString &characterLibrary, QString &error);
