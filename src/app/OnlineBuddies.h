// Keeps the "Online Buddys" list current while the game runs. The messenger replaces its
// files (a new file renamed over the old one) whenever a buddy comes or goes, online.txt
// last; once the program folder has been quiet for a moment after a change, the list is
// built again from them (BuildOnlineBuddies): a buddy who came online appears, one who
// went offline goes, and the player's check marks stay on those still listed.
#pragma once

#include "Waits.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>

class InviteList;

class OnlineBuddiesWatch : public QObject
{
public:
    // buddies: the list it fills; it outlives this object (main owns it).
    explicit OnlineBuddiesWatch(InviteList &buddies);
    // Builds the list now, and again after each change of the program folder until this
    // object goes.
    void start();

private:
    Task<> rebuild();
    InviteList &list;
    QFileSystemWatcher folder;
    QTimer quiet;            // the folder's changes come in bursts: one build after each
    bool building = false;   // a build runs (its reads may wait for the messenger)
    bool again = false;      // the folder changed during it: build once more afterwards
};
