#pragma once

#include <QStringList>

// Each returns the process exit status (2 for bad arguments, after the usage message).
int RunInit(const QStringList &arguments);
int RunLaunch(const QStringList &arguments);
int RunOnline(const QStringList &arguments);
int RunBuddies(const QStringList &arguments);
int RunListen(const QStringList &arguments);
int RunLock(const QStringList &arguments);
// add, remove, accept or refuse DIR JID: handed to the messenger online from DIR.
int RunFriendCommand(const QString &verb, const QStringList &arguments);
int Usage(const QString &problem);
// Prints the usage and what each command does to standard output; returns 0.
int Help();
