#include "LanDiscovery.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>

namespace {
// Services resolved at once; more are refused until some are done (a hostile LAN could
// announce thousands).
constexpr int MaxResolving = 64;

QString errorText(int error)
{
    return QString::fromUtf8(avahi_strerror(error));
}

QString clientError(AvahiClient *client)
{
    return errorText(avahi_client_errno(client));
}
} // namespace

// Everything below runs on Avahi's thread, except the constructor and the destructor,
// which run while that thread is not running.
struct LanDiscovery::Private {
    Announcement self;
    quint16 port = 0;
    LanHandlers handlers;
    QObject inbox;   // lives on the owner's thread: the handlers run there
    AvahiThreadedPoll *poll = nullptr;
    AvahiClient *client = nullptr;
    AvahiEntryGroup *group = nullptr;
    AvahiServiceBrowser *browser = nullptr;
    char *name = nullptr;   // the service name announced, Avahi's string
    QHash<QString, AvahiServiceResolver *> resolving;
    QSet<QString> ours;
    bool allForNow = false;
    bool settled = false;
    bool toldNoDaemon = false;

    template <typename F> void post(F &&call)
    {
        QMetaObject::invokeMethod(&inbox, std::forward<F>(call), Qt::QueuedConnection);
    }
    void say(const QString &line)
    {
        post([this, line] { handlers.say(line); });
    }
    void settleIfDone()
    {
        if (allForNow && resolving.isEmpty() && !std::exchange(settled, true))
            post([this] { handlers.settled(); });
    }

    void connect()
    {
        int error = 0;
        client = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL, &Private::onClient, this, &error);
        if (!client) {
            say(QStringLiteral("no Avahi daemon can be reached (%1): friends on the LAN are not found; "
                               "the contacts come from the files")
                    .arg(errorText(error)));
            allForNow = true;
            settleIfDone();
        }
    }

    void announce(AvahiClient *c)
    {
        if (!group && !(group = avahi_entry_group_new(c, &Private::onGroup, this))) {
            say(QStringLiteral("cannot announce on the LAN: %1").arg(clientError(c)));
            return;
        }
        AvahiStringList *txt = nullptr;
        for (const QByteArray &string : AnnouncementStrings(self))
            txt = avahi_string_list_add_arbitrary(txt, reinterpret_cast<const uint8_t *>(string.constData()),
                                                  static_cast<size_t>(string.size()));
        for (;;) {
            const int result = avahi_entry_group_add_service_strlst(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                                    AvahiPublishFlags(0), name, LanServiceType,
                                                                    nullptr, nullptr, port, txt);
            if (result == AVAHI_ERR_COLLISION) {
                renameAfterCollision();
                continue;
            }
            if (result < 0 || avahi_entry_group_commit(group) < 0)
                say(QStringLiteral("cannot announce on the LAN: %1").arg(errorText(result)));
            break;
        }
        avahi_string_list_free(txt);
    }

    void renameAfterCollision()
    {
        char *other = avahi_alternative_service_name(name);
        say(QStringLiteral("the name \"%1\" is taken on the LAN by another player; announcing as \"%2\"")
                .arg(QString::fromUtf8(name), QString::fromUtf8(other)));
        avahi_free(name);
        name = other;
    }

    static void onClient(AvahiClient *c, AvahiClientState state, void *data)
    {
        auto *d = static_cast<Private *>(data);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            d->announce(c);
            if (!d->browser
                && !(d->browser = avahi_service_browser_new(c, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, LanServiceType,
                                                            nullptr, AvahiLookupFlags(0), &Private::onBrowse, d)))
                d->say(QStringLiteral("cannot look for players on the LAN: %1")
                           .arg(clientError(c)));
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            if (d->group)
                avahi_entry_group_reset(d->group);
            break;
        case AVAHI_CLIENT_CONNECTING:
            if (!std::exchange(d->toldNoDaemon, true))
                d->say(QStringLiteral("no Avahi daemon is running: friends on the LAN are not found until it "
                                      "starts; the contacts come from the files"));
            d->allForNow = true;
            d->settleIfDone();
            break;
        case AVAHI_CLIENT_FAILURE:
            d->say(QStringLiteral("lost the Avahi daemon (%1); friends on the LAN are offline until it is back")
                       .arg(clientError(c)));
            d->post([d] { d->handlers.lost(); });
            // The client and everything made with it go; a new one waits for the daemon.
            d->resolving.clear();
            d->ours.clear();
            d->group = nullptr;
            d->browser = nullptr;
            avahi_client_free(c);
            d->client = nullptr;
            d->toldNoDaemon = true;
            d->connect();
            break;
        default:
            break;
        }
    }

    static void onGroup(AvahiEntryGroup *g, AvahiEntryGroupState state, void *data)
    {
        auto *d = static_cast<Private *>(data);
        if (state == AVAHI_ENTRY_GROUP_COLLISION) {
            d->renameAfterCollision();
            avahi_entry_group_reset(g);
            d->announce(avahi_entry_group_get_client(g));
        } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
            d->say(QStringLiteral("cannot announce on the LAN: %1")
                       .arg(clientError(avahi_entry_group_get_client(g))));
        }
    }

    static QString keyOf(AvahiIfIndex interface, const char *name)
    {
        return QString::number(interface) + u'/' + QString::fromUtf8(name);
    }

    static void onBrowse(AvahiServiceBrowser *b, AvahiIfIndex interface, AvahiProtocol protocol,
                         AvahiBrowserEvent event, const char *name, const char *type, const char *domain,
                         AvahiLookupResultFlags flags, void *data)
    {
        auto *d = static_cast<Private *>(data);
        switch (event) {
        case AVAHI_BROWSER_NEW: {
            const QString key = keyOf(interface, name);
            if (flags & AVAHI_LOOKUP_RESULT_OUR_OWN) {
                d->ours.insert(key);
                break;
            }
            if (d->resolving.contains(key))
                break;
            if (d->resolving.size() >= MaxResolving) {
                d->say(QStringLiteral("too many players announced on the LAN at once; \"%1\" is not looked at")
                           .arg(PlainText(QString::fromUtf8(name))));
                break;
            }
            AvahiServiceResolver *resolver = avahi_service_resolver_new(
                avahi_service_browser_get_client(b), interface, protocol, name, type, domain, AVAHI_PROTO_INET,
                AvahiLookupFlags(0), &Private::onResolve, d);
            if (resolver)
                d->resolving.insert(key, resolver);
            break;
        }
        case AVAHI_BROWSER_REMOVE: {
            const QString key = keyOf(interface, name);
            if (d->ours.remove(key))
                break;
            if (AvahiServiceResolver *resolver = d->resolving.take(key))
                avahi_service_resolver_free(resolver);
            d->post([d, key] { d->handlers.gone(key); });
            d->settleIfDone();
            break;
        }
        case AVAHI_BROWSER_ALL_FOR_NOW:
            d->allForNow = true;
            d->settleIfDone();
            break;
        case AVAHI_BROWSER_FAILURE:
            d->say(QStringLiteral("cannot look for players on the LAN: %1")
                       .arg(clientError(avahi_service_browser_get_client(b))));
            break;
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            break;
        }
    }

    static void onResolve(AvahiServiceResolver *r, AvahiIfIndex interface, AvahiProtocol, AvahiResolverEvent event,
                          const char *name, const char *, const char *, const char *, const AvahiAddress *address,
                          uint16_t, AvahiStringList *txt, AvahiLookupResultFlags, void *data)
    {
        auto *d = static_cast<Private *>(data);
        const QString key = keyOf(interface, name);
        const QString quoted = PlainText(QString::fromUtf8(name));
        if (event == AVAHI_RESOLVER_FAILURE) {
            d->say(QStringLiteral("\"%1\" on the LAN has no IPv4 address that the game could use (%2); not listed")
                       .arg(quoted, clientError(avahi_service_resolver_get_client(r))));
        } else if (address->proto != AVAHI_PROTO_INET) {
            d->say(QStringLiteral("\"%1\" on the LAN has only an IPv6 address, which the game cannot use; not listed")
                       .arg(quoted));
        } else {
            char text[AVAHI_ADDRESS_STR_MAX];
            avahi_address_snprint(text, sizeof text, address);
            LanService service{key, quoted, QString::fromLatin1(text), {}};
            // Avahi bounds the record by the size of a DNS message; the check is the caller's.
            for (AvahiStringList *string = txt; string; string = avahi_string_list_get_next(string))
                service.txt.append(QByteArray(reinterpret_cast<const char *>(avahi_string_list_get_text(string)),
                                              static_cast<qsizetype>(avahi_string_list_get_size(string))));
            d->post([d, service] { d->handlers.found(service); });
        }
        if (d->resolving.value(key) == r)
            d->resolving.remove(key);
        avahi_service_resolver_free(r);
        d->settleIfDone();
    }
};

LanDiscovery::LanDiscovery(const Announcement &self, quint16 gamePort, LanHandlers handlers)
    : d(std::make_unique<Private>())
{
    d->self = self;
    d->port = gamePort;
    d->handlers = std::move(handlers);
    // A DNS label holds at most 63 bytes: whole characters of the name up to that.
    QString name = self.name;
    while (name.toUtf8().size() > 63)
        name.chop(1);
    d->name = avahi_strdup(name.toUtf8().constData());
    d->poll = avahi_threaded_poll_new();
    if (!d->poll) {
        d->say(QStringLiteral("cannot start the LAN's service discovery"));
        return;
    }
    d->connect();
    avahi_threaded_poll_start(d->poll);
}

LanDiscovery::~LanDiscovery()
{
    if (d->poll) {
        avahi_threaded_poll_stop(d->poll);
        if (d->client)
            avahi_client_free(d->client);   // withdraws the announcement
        avahi_threaded_poll_free(d->poll);
    }
    avahi_free(d->name);
}
