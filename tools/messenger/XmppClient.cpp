#include "XmppClient.h"

#include <QCryptographicHash>
#include <QObject>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <strophe.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char RosterNamespace[] = "jabber:iq:roster";
constexpr char DiscoInfoNamespace[] = "http://jabber.org/protocol/disco#info";
constexpr char CapsNamespace[] = "http://jabber.org/protocol/caps";
constexpr char CapsNode[] = "urn:hollyfrost:messenger";
constexpr char IdentityName[] = "Hollyfrost Messenger";
// Roster items taken from one answer or push; a larger roster is cut.
constexpr int MaxRosterItems = 1000;
// The longest wait in select(): how soon a queued request runs at the latest.
constexpr unsigned long WaitMs = 500;
constexpr int FirstRetrySeconds = 2;
constexpr int LastRetrySeconds = 60;
// Requests waiting for the next sign-in; more are refused.
constexpr size_t MaxQueued = 400;

QString text(const char *utf8, qsizetype limit = 3071)
{
    return utf8 ? QString::fromUtf8(utf8).left(limit) : QString();
}

QString bare(const QString &jid)
{
    return jid.section(u'/', 0, 0);
}

// XEP-0115's verification string for our one identity and our features (sorted).
QByteArray capsVersion()
{
    QByteArray s = QByteArray("client/pc//") + IdentityName + '<';
    for (const char *feature : {CapsNamespace, DiscoInfoNamespace, GameNamespace})
        s += QByteArray(feature) + '<';
    return QCryptographicHash::hash(s, QCryptographicHash::Sha1).toBase64();
}

xmpp_stanza_t *element(xmpp_ctx_t *ctx, const char *name, const char *ns = nullptr)
{
    xmpp_stanza_t *stanza = xmpp_stanza_new(ctx);
    xmpp_stanza_set_name(stanza, name);
    if (ns)
        xmpp_stanza_set_ns(stanza, ns);
    return stanza;
}

// Adds |child| to |parent| and drops our reference to it.
void adopt(xmpp_stanza_t *parent, xmpp_stanza_t *child)
{
    xmpp_stanza_add_child(parent, child);
    xmpp_stanza_release(child);
}

} // namespace

bool IsBareJid(const QString &jid)
{
    const qsizetype at = jid.indexOf(u'@');
    if (at <= 0 || at == jid.size() - 1 || jid.size() > 1023 || jid.contains(u'/') || jid.count(u'@') != 1)
        return false;
    return std::none_of(jid.cbegin(), jid.cend(), [](QChar c) {
        return c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
               || c == u'<' || c == u'>' || c == u'"' || c == u'\'' || c == u'&';
    });
}

// Everything below runs on the XMPP thread, except the constructor, the destructor and
// queue(), which the owner calls.
struct XmppClient::Private {
    XmppSettings settings;
    XmppHandlers handlers;
    QObject inbox;   // lives on the owner's thread: the handlers run there
    QByteArray caps = capsVersion();
    xmpp_log_t log{&Private::onLog, this};
    xmpp_ctx_t *ctx = nullptr;
    xmpp_conn_t *conn = nullptr;
    bool signedIn = false;
    bool closed = false;        // the connection ended; released by the loop
    bool toldLoss = false;      // the loss was told; the retries are quiet
    QString lastError;          // libstrophe's last error message, for the loss's line
    int retrySeconds = FirstRetrySeconds;
    Clock::time_point retryAt = Clock::now();
    std::atomic<bool> stopping{false};
    std::mutex queueLock;
    struct Request {
        std::function<void()> run;
        bool keep;   // waits for the next sign-in rather than being dropped
    };
    std::vector<Request> queued;
    QSet<QString> friends;   // whose Jingle messages are taken; guarded by queueLock
    std::thread thread;

    template <typename F> void post(F &&call)
    {
        QMetaObject::invokeMethod(&inbox, std::forward<F>(call), Qt::QueuedConnection);
    }
    void say(const QString &line)
    {
        post([this, line] { handlers.say(line); });
    }
    bool queue(std::function<void()> request, bool keep = true)
    {
        const std::lock_guard<std::mutex> lock(queueLock);
        if (queued.size() >= MaxQueued)
            return false;
        queued.push_back({std::move(request), keep});
        return true;
    }

    static void onLog(void *data, xmpp_log_level_t level, const char *area, const char *message)
    {
        auto *d = static_cast<Private *>(data);
        // A refused or unreachable connection is told only at the debug level, with its errno.
        const QByteArray line(message);
        if (const QByteArray failed = "connection failed, error "; line.startsWith(failed) && !d->certificateRefused())
            d->lastError = QString::fromLocal8Bit(strerror(line.mid(failed.size()).toInt()));
        if (level < XMPP_LEVEL_ERROR)
            return;
        // Without a handler to overrule it, a certificate that fails the checks ends the
        // connection; libstrophe says so only through its log.
        if (qstrcmp(area, "tls") == 0 && line.contains("certfail"))
            d->lastError = QStringLiteral("its certificate is not trusted: it does not verify against the "
                                          "system's CAs (or --ca) for this domain");
        else if (!d->certificateRefused())
            d->lastError = text(area, 32) + QStringLiteral(": ") + text(message, 300);
    }

    bool certificateRefused() const
    {
        return lastError.startsWith(QLatin1String("its certificate"));
    }

    void run()
    {
        while (!stopping) {
            std::vector<Request> requests;
            {
                const std::lock_guard<std::mutex> lock(queueLock);
                requests.swap(queued);
            }
            for (Request &request : requests) {
                if (signedIn)
                    request.run();
                else if (request.keep)
                    queue(std::move(request.run));
            }
            if (closed) {
                xmpp_conn_release(conn);
                conn = nullptr;
                closed = false;
            }
            if (!conn && Clock::now() >= retryAt)
                connect();
            xmpp_run_once(ctx, WaitMs);
        }
        if (conn && signedIn) {
            xmpp_disconnect(conn);
            const auto giveUp = Clock::now() + std::chrono::seconds(2);
            while (!closed && Clock::now() < giveUp)
                xmpp_run_once(ctx, 100);
        }
        if (conn)
            xmpp_conn_release(conn);
    }

    void connect()
    {
        conn = xmpp_conn_new(ctx);
        xmpp_conn_set_flags(conn, XMPP_CONN_FLAG_MANDATORY_TLS | XMPP_CONN_FLAG_DISABLE_SM);
        xmpp_conn_set_jid(conn, settings.jid.toUtf8().constData());
        xmpp_conn_set_pass(conn, settings.password.constData());
        if (!settings.caFile.isEmpty())
            xmpp_conn_set_cafile(conn, settings.caFile.toLocal8Bit().constData());
        lastError.clear();
        if (xmpp_connect_client(conn, nullptr, 0, &Private::onConnection, this) != XMPP_EOK)
            lost(QStringLiteral("cannot start to connect"));
    }

    // The connection ended (or never began): tell once, and try again later.
    void lost(const QString &reason)
    {
        if (signedIn)
            post([this] { handlers.signedOut(); });
        if (!std::exchange(toldLoss, true))
            say(QStringLiteral("%1 the XMPP server for %2 (%3): friends on the internet are offline; "
                               "trying again in %4 s and later")
                    .arg(signedIn ? QStringLiteral("lost") : QStringLiteral("cannot sign in to"), settings.jid,
                         reason)
                    .arg(retrySeconds));
        signedIn = false;
        closed = true;
        retryAt = Clock::now() + std::chrono::seconds(retrySeconds);
        retrySeconds = std::min(retrySeconds * 2, LastRetrySeconds);
    }

    static void onConnection(xmpp_conn_t *c, xmpp_conn_event_t event, int error, xmpp_stream_error_t *streamError,
                             void *data)
    {
        auto *d = static_cast<Private *>(data);
        if (event == XMPP_CONN_CONNECT) {
            d->signedIn = true;
            d->toldLoss = false;
            d->retrySeconds = FirstRetrySeconds;
            d->say(QStringLiteral("signed in to the internet as %1").arg(d->settings.jid));
            d->post([d, jid = text(xmpp_conn_get_bound_jid(c))] { d->handlers.signedIn(jid); });
            xmpp_handler_add(c, &Private::onPresence, nullptr, "presence", nullptr, d);
            xmpp_handler_add(c, &Private::onIq, nullptr, "iq", nullptr, d);
            xmpp_stanza_t *get = xmpp_iq_new(d->ctx, "get", "roster");
            adopt(get, element(d->ctx, "query", RosterNamespace));
            d->send(get);
            d->send(d->ownPresence());
            d->send(ServicesRequest(d->ctx, d->settings.jid.section(u'@', 1)));
            return;
        }
        if (d->closed)
            return;
        QString reason = d->certificateRefused()             ? d->lastError
                         : streamError && streamError->text ? text(streamError->text, 200)
                         : error != 0                     ? QString::fromLocal8Bit(strerror(error))
                         : !d->lastError.isEmpty()        ? d->lastError
                                                          : QStringLiteral("the connection ended");
        d->lost(reason);
    }

    void send(xmpp_stanza_t *stanza)
    {
        xmpp_send(conn, stanza);
        xmpp_stanza_release(stanza);
    }

    xmpp_stanza_t *ownPresence()
    {
        xmpp_stanza_t *presence = xmpp_presence_new(ctx);
        xmpp_stanza_t *caps = element(ctx, "c", CapsNamespace);
        xmpp_stanza_set_attribute(caps, "hash", "sha-1");
        xmpp_stanza_set_attribute(caps, "node", CapsNode);
        xmpp_stanza_set_attribute(caps, "ver", this->caps.constData());
        adopt(presence, caps);
        xmpp_stanza_t *game = element(ctx, "game", GameNamespace);
        xmpp_stanza_set_attribute(game, "uin", settings.self.uin.toUtf8().constData());
        xmpp_stanza_set_attribute(game, "name", settings.self.name.toUtf8().constData());
        adopt(presence, game);
        return presence;
    }

    // An empty result to the request |iq| (a roster push comes without a from).
    xmpp_stanza_t *result(xmpp_stanza_t *iq)
    {
        xmpp_stanza_t *reply = xmpp_iq_new(ctx, "result", xmpp_stanza_get_id(iq));
        if (const char *from = xmpp_stanza_get_from(iq))
            xmpp_stanza_set_to(reply, from);
        return reply;
    }

    void sendPresence(const char *type, const QString &to)
    {
        xmpp_stanza_t *presence = xmpp_presence_new(ctx);
        xmpp_stanza_set_type(presence, type);
        xmpp_stanza_set_to(presence, to.toUtf8().constData());
        send(presence);
    }

    void setRosterItem(const QString &jid, const char *subscription)
    {
        xmpp_stanza_t *set = xmpp_iq_new(ctx, "set", nullptr);
        xmpp_stanza_t *query = element(ctx, "query", RosterNamespace);
        xmpp_stanza_t *item = element(ctx, "item");
        xmpp_stanza_set_attribute(item, "jid", jid.toUtf8().constData());
        if (subscription)
            xmpp_stanza_set_attribute(item, "subscription", subscription);
        adopt(query, item);
        adopt(set, query);
        send(set);
    }

    static int onPresence(xmpp_conn_t *, xmpp_stanza_t *stanza, void *data)
    {
        auto *d = static_cast<Private *>(data);
        const QString from = text(xmpp_stanza_get_from(stanza));
        const QString type = text(xmpp_stanza_get_type(stanza), 20);
        if (from.isEmpty() || bare(from).compare(d->settings.jid, Qt::CaseInsensitive) == 0)
            return 1;   // our own presence comes back from the server
        if (type == QLatin1String("subscribe")) {
            d->post([d, jid = bare(from)] { d->handlers.request(jid); });
            return 1;
        }
        if (!type.isEmpty() && type != QLatin1String("unavailable"))
            return 1;
        XmppPresence presence{from, type.isEmpty(), 0, 0, {}};
        for (xmpp_stanza_t *child = xmpp_stanza_get_children(stanza); child; child = xmpp_stanza_get_next(child)) {
            const char *ns = xmpp_stanza_get_ns(child);
            if (!ns || qstrcmp(ns, GameNamespace) != 0 || presence.gameElements++ > 0)
                continue;
            char *xml = nullptr;
            size_t size = 0;
            if (xmpp_stanza_to_text(child, &xml, &size) == XMPP_EOK) {
                presence.gameBytes = static_cast<qsizetype>(size);
                xmpp_free(d->ctx, xml);
            }
            const char *name = xmpp_stanza_get_name(child);
            if (presence.gameBytes <= MaxGameElementBytes && name && qstrcmp(name, "game") == 0) {
                for (const char *key : {"uin", "name"}) {
                    if (const char *value = xmpp_stanza_get_attribute(child, key))
                        presence.game.append(QByteArray(key) + '=' + value);
                }
            }
        }
        d->post([d, presence] { d->handlers.presence(presence); });
        return 1;
    }

    // A Jingle message: taken from a friend's resource when well-formed, else refused.
    void jingle(xmpp_stanza_t *iq, const QString &from)
    {
        JingleMessage message;
        QString why;
        bool known = false;
        {
            const std::lock_guard<std::mutex> lock(queueLock);
            known = friends.contains(bare(from).toLower());
        }
        if (!known || !from.contains(u'/'))
            why = QStringLiteral("not a friend");
        else
            ParseJingle(iq, message, why);
        if (!why.isEmpty()) {
            say(QStringLiteral("refused a Jingle message from %1: %2").arg(PlainText(from.left(200)), why));
            const char *condition = known ? "bad-request" : "forbidden";
            if (xmpp_stanza_t *error = xmpp_stanza_reply_error(iq, "cancel", condition, nullptr))
                send(error);
            return;
        }
        message.peer = from;
        send(result(iq));
        post([this, message] { handlers.jingle(message); });
    }

    static int onIq(xmpp_conn_t *, xmpp_stanza_t *stanza, void *data)
    {
        auto *d = static_cast<Private *>(data);
        const QString type = text(xmpp_stanza_get_type(stanza), 20);
        const QString from = text(xmpp_stanza_get_from(stanza));
        if (xmpp_stanza_t *query = xmpp_stanza_get_child_by_ns(stanza, RosterNamespace)) {
            const bool whole = type == QLatin1String("result");
            // A push comes from our own account only (or from the server, without a from).
            if (!whole && (type != QLatin1String("set") || (!from.isEmpty() && bare(from) != d->settings.jid)))
                return 1;
            QList<XmppRosterItem> items;
            for (xmpp_stanza_t *item = xmpp_stanza_get_children(query); item && items.size() < MaxRosterItems;
                 item = xmpp_stanza_get_next(item)) {
                const QString jid = text(xmpp_stanza_get_attribute(item, "jid"));
                if (!jid.isEmpty())
                    items.append({jid, text(xmpp_stanza_get_attribute(item, "subscription"), 10),
                                  xmpp_stanza_get_attribute(item, "ask") != nullptr});
            }
            d->post([d, items, whole] { d->handlers.roster(items, whole); });
            if (!whole)
                d->send(d->result(stanza));
            return 1;
        }
        if (type == QLatin1String("result") && qstrcmp(xmpp_stanza_get_id(stanza), "services") == 0) {
            d->post([d, servers = ParseServices(stanza)] { d->handlers.services(servers); });
            return 1;
        }
        if (type != QLatin1String("get") && type != QLatin1String("set"))
            return 1;
        if (type == QLatin1String("set") && xmpp_stanza_get_child_by_ns(stanza, JingleNamespace)) {
            d->jingle(stanza, from);
            return 1;
        }
        xmpp_stanza_t *disco = xmpp_stanza_get_child_by_ns(stanza, DiscoInfoNamespace);
        if (!disco || type != QLatin1String("get")) {
            if (xmpp_stanza_t *error = xmpp_stanza_reply_error(stanza, "cancel", "service-unavailable", nullptr))
                d->send(error);
            return 1;
        }
        xmpp_stanza_t *reply = d->result(stanza);
        xmpp_stanza_t *query = element(d->ctx, "query", DiscoInfoNamespace);
        if (const char *node = xmpp_stanza_get_attribute(disco, "node"))
            xmpp_stanza_set_attribute(query, "node", node);
        xmpp_stanza_t *identity = element(d->ctx, "identity");
        xmpp_stanza_set_attribute(identity, "category", "client");
        xmpp_stanza_set_attribute(identity, "type", "pc");
        xmpp_stanza_set_attribute(identity, "name", IdentityName);
        adopt(query, identity);
        for (const char *name : {CapsNamespace, DiscoInfoNamespace, GameNamespace}) {
            xmpp_stanza_t *feature = element(d->ctx, "feature");
            xmpp_stanza_set_attribute(feature, "var", name);
            adopt(query, feature);
        }
        adopt(reply, query);
        d->send(reply);
        return 1;
    }
};

XmppClient::XmppClient(const XmppSettings &settings, XmppHandlers handlers) : d(std::make_unique<Private>())
{
    d->settings = settings;
    d->handlers = std::move(handlers);
    xmpp_initialize();
    d->ctx = xmpp_ctx_new(nullptr, &d->log);
    d->thread = std::thread([this] { d->run(); });
}

XmppClient::~XmppClient()
{
    d->stopping = true;
    d->thread.join();
    xmpp_ctx_free(d->ctx);
    xmpp_shutdown();
    d->settings.password.fill('\0');
}

bool XmppClient::add(const QString &bareJid)
{
    return d->queue([d = d.get(), bareJid] {
        d->setRosterItem(bareJid, nullptr);
        d->sendPresence("subscribe", bareJid);
    });
}

void XmppClient::send(const JingleMessage &message)
{
    d->queue([d = d.get(), message] { d->send(JingleStanza(d->ctx, message)); }, false);
}

void XmppClient::setFriends(const QSet<QString> &bareJids)
{
    const std::lock_guard<std::mutex> lock(d->queueLock);
    d->friends = bareJids;
}

bool XmppClient::remove(const QString &bareJid)
{
    return d->queue([d = d.get(), bareJid] { d->setRosterItem(bareJid, "remove"); });
}

bool XmppClient::answer(const QString &bareJid, bool accept)
{
    return d->queue([d = d.get(), bareJid, accept] {
        d->sendPresence(accept ? "subscribed" : "unsubscribed", bareJid);
    });
}
