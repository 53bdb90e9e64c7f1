#include "XmppJingle.h"

#include <QHostAddress>

namespace {

constexpr int MaxTokenBytes = 256;
constexpr int MaxServices = 8;

xmpp_stanza_t *child(xmpp_ctx_t *ctx, xmpp_stanza_t *parent, const char *name, const char *ns = nullptr)
{
    xmpp_stanza_t *element = xmpp_stanza_new(ctx);
    xmpp_stanza_set_name(element, name);
    if (ns)
        xmpp_stanza_set_ns(element, ns);
    xmpp_stanza_add_child(parent, element);
    xmpp_stanza_release(element);
    return element;
}

void set(xmpp_stanza_t *element, const char *key, const QByteArray &value)
{
    xmpp_stanza_set_attribute(element, key, value.constData());
}

// An attribute of at most MaxTokenBytes printable ASCII characters, else empty.
QByteArray token(xmpp_stanza_t *element, const char *key)
{
    const char *value = xmpp_stanza_get_attribute(element, key);
    const QByteArray bytes = value ? QByteArray(value) : QByteArray();
    if (bytes.size() > MaxTokenBytes)
        return QByteArray();
    for (const char c : bytes) {
        if (c <= ' ' || c > '~')
            return QByteArray();
    }
    return bytes;
}

quint32 number(xmpp_stanza_t *element, const char *key, quint32 limit, bool &ok)
{
    bool good = false;
    const quint32 value = token(element, key).toUInt(&good);
    ok = ok && good && value <= limit;
    return value;
}

} // namespace

xmpp_stanza_t *JingleStanza(xmpp_ctx_t *ctx, const JingleMessage &message)
{
    char *uuid = xmpp_uuid_gen(ctx);
    xmpp_stanza_t *iq = xmpp_iq_new(ctx, "set", uuid ? uuid : "jingle");
    xmpp_free(ctx, uuid);
    xmpp_stanza_set_to(iq, message.peer.toUtf8().constData());
    xmpp_stanza_t *jingle = child(ctx, iq, "jingle", JingleNamespace);
    set(jingle, "action", message.action);
    set(jingle, "sid", message.sid);
    if (message.action == "session-terminate") {
        child(ctx, child(ctx, jingle, "reason"), "success");
        return iq;
    }
    xmpp_stanza_t *content = child(ctx, jingle, "content");
    set(content, "creator", "initiator");
    set(content, "name", "game");
    child(ctx, content, "description", DatagramsNamespace);
    xmpp_stanza_t *transport = child(ctx, content, "transport", IceUdpNamespace);
    set(transport, "ufrag", message.ufrag);
    set(transport, "pwd", message.pwd);
    int id = 0;
    for (const JingleCandidate &candidate : message.candidates) {
        xmpp_stanza_t *element = child(ctx, transport, "candidate");
        set(element, "component", "1");
        set(element, "foundation", candidate.foundation);
        set(element, "generation", "0");
        set(element, "id", QByteArray::number(++id));
        set(element, "ip", candidate.ip);
        set(element, "network", "0");
        set(element, "port", QByteArray::number(candidate.port));
        set(element, "priority", QByteArray::number(candidate.priority));
        set(element, "protocol", "udp");
        set(element, "type", candidate.type);
    }
    return iq;
}

bool ParseJingle(xmpp_stanza_t *iq, JingleMessage &message, QString &why)
{
    xmpp_stanza_t *jingle = xmpp_stanza_get_child_by_ns(iq, JingleNamespace);
    message.action = token(jingle, "action");
    message.sid = token(jingle, "sid");
    if (message.sid.isEmpty() || message.sid.size() > 64) {
        why = QStringLiteral("it has no good session id");
        return false;
    }
    if (message.action == "session-terminate")
        return true;
    if (message.action != "session-initiate" && message.action != "session-accept"
        && message.action != "transport-info") {
        why = QStringLiteral("its action is not one we take");
        return false;
    }
    xmpp_stanza_t *content = xmpp_stanza_get_child_by_name(jingle, "content");
    xmpp_stanza_t *transport = content ? xmpp_stanza_get_child_by_ns(content, IceUdpNamespace) : nullptr;
    if (!content || !xmpp_stanza_get_child_by_ns(content, DatagramsNamespace) || !transport) {
        why = QStringLiteral("it carries no game datagrams over ICE-UDP");
        return false;
    }
    message.ufrag = token(transport, "ufrag");
    message.pwd = token(transport, "pwd");
    if (message.ufrag.isEmpty() || message.pwd.isEmpty()) {
        why = QStringLiteral("it lacks the ICE user fragment or password");
        return false;
    }
    int seen = 0;
    for (xmpp_stanza_t *element = xmpp_stanza_get_children(transport); element;
         element = xmpp_stanza_get_next(element)) {
        const char *name = xmpp_stanza_get_name(element);
        if (!name || qstrcmp(name, "candidate") != 0)
            continue;
        if (++seen > MaxJingleCandidates) {
            why = QStringLiteral("it carries more than %1 candidates").arg(MaxJingleCandidates);
            return false;
        }
        bool ok = token(element, "protocol").toLower() == "udp";
        JingleCandidate candidate{token(element, "foundation"), token(element, "ip"),
                                  static_cast<quint16>(number(element, "port", 65535, ok)),
                                  number(element, "priority", 0xFFFFFFFFu, ok), token(element, "type")};
        ok = ok && number(element, "component", 1, ok) == 1 && candidate.port > 0 && !candidate.foundation.isEmpty()
             && candidate.foundation.size() <= 32
             && QHostAddress(QString::fromLatin1(candidate.ip)).protocol() == QAbstractSocket::IPv4Protocol
             && QList<QByteArray>{"host", "srflx", "prflx", "relay"}.contains(candidate.type);
        if (ok)
            message.candidates.append(candidate);   // an IPv6 or odd candidate is passed over
    }
    return true;
}

xmpp_stanza_t *ServicesRequest(xmpp_ctx_t *ctx, const QString &domain)
{
    xmpp_stanza_t *iq = xmpp_iq_new(ctx, "get", "services");
    xmpp_stanza_set_to(iq, domain.toUtf8().constData());
    child(ctx, iq, "services", ExternalServicesNamespace);
    return iq;
}

QList<IceServer> ParseServices(xmpp_stanza_t *result)
{
    QList<IceServer> servers;
    xmpp_stanza_t *services = xmpp_stanza_get_child_by_ns(result, ExternalServicesNamespace);
    for (xmpp_stanza_t *service = services ? xmpp_stanza_get_children(services) : nullptr;
         service && servers.size() < MaxServices; service = xmpp_stanza_get_next(service)) {
        const QByteArray type = token(service, "type");
        const QByteArray transport = token(service, "transport");
        bool ok = (type == "stun" || type == "turn") && (transport.isEmpty() || transport == "udp");
        IceServer server{type == "turn", QString::fromLatin1(token(service, "host")),
                         static_cast<quint16>(number(service, "port", 65535, ok)), token(service, "username"),
                         token(service, "password")};
        if (ok && server.port > 0 && !server.host.isEmpty())
            servers.append(server);
    }
    return servers;
}
