// Announces the player on the LAN and watches for other players, through the desktop's
// DNS-SD service discovery (the Avahi daemon, over the D-Bus system bus). Avahi runs its
// own thread; everything it finds is handed to the handlers on the thread that made the
// object, one event at a time.
#pragma once

#include "MessengerContacts.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// The DNS-SD service type of this game's players.
inline constexpr char LanServiceType[] = "_hollyfrost-games._udp";

// One service of another player, resolved to an IPv4 address.
struct LanService {
    QString key;            // names the service while it is announced (interface and name)
    QString serviceName;
    QString address;
    QList<QByteArray> txt;  // the TXT record's strings, unchecked
};

struct LanHandlers {
    std::function<void(const LanService &)> found;
    std::function<void(const QString &key)> gone;
    // Every service is gone at once: the daemon went away.
    std::function<void()> lost;
    // The services already on the LAN have been looked at (or no daemon is there).
    std::function<void()> settled;
    // A line for standard error.
    std::function<void(const QString &)> say;
};

class LanDiscovery
{
public:
    // Announces |self| with the game port and starts browsing. Without a daemon it says so
    // once and waits for one to start.
    LanDiscovery(const Announcement &self, quint16 gamePort, LanHandlers handlers);
    ~LanDiscovery();
    LanDiscovery(const LanDiscovery &) = delete;
    LanDiscovery &operator=(const LanDiscovery &) = delete;

    struct Private;

private:
    std::unique_ptr<Private> d;
};
