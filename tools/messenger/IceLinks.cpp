// GLib before Qt: Qt's "signals" keyword would clash with GLib's headers.
#include <glib-unix.h>
#include <nice/agent.h>

#include "IceLinks.h"

#include "MessengerContacts.h"

#include <QAbstractEventDispatcher>
#include <QHostAddress>
#include <QHostInfo>
#include <QRandomGenerator>

#include <chrono>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A link not connected this long after it was opened is opened again.
constexpr auto ConnectWithin = std::chrono::seconds(10);
constexpr int TickMs = 1000;

// At most |limit| events in each second.
struct Rate {
    Clock::time_point since;
    int count = 0;
    bool allow(int limit)
    {
        const auto now = Clock::now();
        if (now - since >= std::chrono::seconds(1)) {
            since = now;
            count = 0;
        }
        return ++count <= limit;
    }
};

sockaddr_in loopback(quint8 n, quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl((127u << 24) | n);
    return address;
}

QByteArray typeName(NiceCandidateType type)
{
    switch (type) {
    case NICE_CANDIDATE_TYPE_HOST: return "host";
    case NICE_CANDIDATE_TYPE_SERVER_REFLEXIVE: return "srflx";
    case NICE_CANDIDATE_TYPE_PEER_REFLEXIVE: return "prflx";
    case NICE_CANDIDATE_TYPE_RELAYED: return "relay";
    }
    return "host";
}

NiceCandidateType candidateType(const QByteArray &name)
{
    return name == "srflx"   ? NICE_CANDIDATE_TYPE_SERVER_REFLEXIVE
           : name == "prflx" ? NICE_CANDIDATE_TYPE_PEER_REFLEXIVE
           : name == "relay" ? NICE_CANDIDATE_TYPE_RELAYED
                             : NICE_CANDIDATE_TYPE_HOST;
}

QByteArray newSid()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 36);
}

} // namespace

struct IceLinks::Link {
    IceLinks *owner = nullptr;
    QString peer;
    quint8 alias = 0;          // 127.0.0.alias stands for the peer
    int fd = -1;               // the relay's socket at that address, on the game's port
    guint watch = 0;
    NiceAgent *agent = nullptr;
    guint stream = 0;
    QByteArray sid;
    bool initiator = false;
    bool gathered = false;
    bool ready = false;
    bool failed = false;
    bool toldFlood = false;
    Clock::time_point startedAt;
    JingleMessage remote;      // the peer's candidates, applied once ours are gathered
    bool haveRemote = false;
    Rate fromPeer, fromGame;

    ~Link()
    {
        stop();
        if (watch)
            g_source_remove(watch);
        if (fd >= 0)
            ::close(fd);
    }

    void stop()
    {
        if (agent) {
            nice_agent_attach_recv(agent, stream, 1, g_main_context_default(), nullptr, nullptr);
            g_signal_handlers_disconnect_by_data(agent, this);
            nice_agent_remove_stream(agent, stream);
            g_object_unref(agent);
        }
        agent = nullptr;
        gathered = ready = failed = haveRemote = false;
    }

    // Binds 127.0.0.alias on the game's port beside the game's own socket (both share it).
    bool bindRelay(QString &error)
    {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        const sockaddr_in address = loopback(alias, owner->gamePort);
        if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
            || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            error = QString::fromLocal8Bit(strerror(errno));
            return false;
        }
        watch = g_unix_fd_add(fd, G_IO_IN, &Link::fromGameReady, this);
        return true;
    }

    void flood(const char *side)
    {
        if (!std::exchange(toldFlood, true))
            owner->say(QStringLiteral("dropping datagrams %1 %2: more than %3 a second")
                           .arg(QLatin1String(side), PlainText(peer.left(200)))
                           .arg(MaxDatagramsPerSecond));
    }

    // The game sent datagrams to the peer's address: each goes to the peer's stream.
    static gboolean fromGameReady(gint fd, GIOCondition, gpointer data)
    {
        auto *link = static_cast<Link *>(data);
        char buffer[MaxDatagramBytes + 1];
        for (int i = 0; i < 64; ++i) {
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t got =
                ::recvfrom(fd, buffer, sizeof buffer, MSG_TRUNC, reinterpret_cast<sockaddr *>(&from), &size);
            if (got < 0)
                break;
            // Only the game on this machine sends through the relay.
            if ((ntohl(from.sin_addr.s_addr) >> 24) != 127 || got > MaxDatagramBytes || !link->ready)
                continue;
            if (!link->fromGame.allow(MaxDatagramsPerSecond)) {
                link->flood("to");
                continue;
            }
            nice_agent_send(link->agent, link->stream, 1, static_cast<guint>(got), buffer);
        }
        return G_SOURCE_CONTINUE;
    }

    // A datagram from the peer: to the game's port, from the peer's address.
    static void fromPeerReady(NiceAgent *, guint, guint, guint size, gchar *bytes, gpointer data)
    {
        auto *link = static_cast<Link *>(data);
        if (size > MaxDatagramBytes || link->fd < 0)
            return;
        if (!link->fromPeer.allow(MaxDatagramsPerSecond))
            return link->flood("from");
        const sockaddr_in game = loopback(1, link->owner->gamePort);
        ::sendto(link->fd, bytes, size, 0, reinterpret_cast<const sockaddr *>(&game), sizeof game);
    }

    static void gatheringDone(NiceAgent *, guint, gpointer data)
    {
        auto *link = static_cast<Link *>(data);
        link->gathered = true;
        link->offer();
        if (link->haveRemote)
            link->applyRemote();
    }

    static void stateChanged(NiceAgent *, guint, guint, guint state, gpointer data)
    {
        auto *link = static_cast<Link *>(data);
        const bool wasReady = link->ready;
        link->ready = state == NICE_COMPONENT_STATE_READY || (wasReady && state == NICE_COMPONENT_STATE_CONNECTED);
        if (state == NICE_COMPONENT_STATE_FAILED && !link->failed) {
            link->failed = true;
            link->owner->say(QStringLiteral("the link to %1 failed: %2")
                                 .arg(PlainText(link->peer.left(200)),
                                      link->initiator ? QStringLiteral("opening it again")
                                                      : QStringLiteral("waiting for it to be opened again")));
        }
    }

    static void pairSelected(NiceAgent *, guint, guint, NiceCandidate *local, NiceCandidate *remote, gpointer data)
    {
        auto *link = static_cast<Link *>(data);
        const bool relayed = local->type == NICE_CANDIDATE_TYPE_RELAYED || remote->type == NICE_CANDIDATE_TYPE_RELAYED;
        link->owner->say(QStringLiteral("linked to %1 %2 as 127.0.0.%3 (%4 to %5)")
                             .arg(PlainText(link->peer.left(200)),
                                  relayed ? QStringLiteral("through a TURN relay") : QStringLiteral("directly"))
                             .arg(link->alias)
                             .arg(QLatin1String(typeName(local->type)), QLatin1String(typeName(remote->type))));
    }

    // Our credentials and candidates, to the peer: an offer or an answer.
    void offer()
    {
        JingleMessage message{peer, initiator ? "session-initiate" : "session-accept", sid, {}, {}, {}};
        gchar *ufrag = nullptr;
        gchar *pwd = nullptr;
        nice_agent_get_local_credentials(agent, stream, &ufrag, &pwd);
        message.ufrag = ufrag;
        message.pwd = pwd;
        g_free(ufrag);
        g_free(pwd);
        GSList *candidates = nice_agent_get_local_candidates(agent, stream, 1);
        for (GSList *item = candidates; item && message.candidates.size() < MaxJingleCandidates; item = item->next) {
            const auto *candidate = static_cast<NiceCandidate *>(item->data);
            if (nice_address_ip_version(&candidate->addr) != 4)
                continue;
            char ip[NICE_ADDRESS_STRING_LEN];
            nice_address_to_string(&candidate->addr, ip);
            message.candidates.append({candidate->foundation, ip,
                                       static_cast<quint16>(nice_address_get_port(&candidate->addr)),
                                       candidate->priority, typeName(candidate->type)});
        }
        g_slist_free_full(candidates, reinterpret_cast<GDestroyNotify>(&nice_candidate_free));
        owner->send(message);
    }

    void applyRemote()
    {
        nice_agent_set_remote_credentials(agent, stream, remote.ufrag.constData(), remote.pwd.constData());
        GSList *candidates = nullptr;
        for (const JingleCandidate &given : std::as_const(remote.candidates)) {
            NiceCandidate *candidate = nice_candidate_new(candidateType(given.type));
            candidate->component_id = 1;
            candidate->stream_id = stream;
            candidate->transport = NICE_CANDIDATE_TRANSPORT_UDP;
            candidate->priority = given.priority;
            g_strlcpy(candidate->foundation, given.foundation.constData(), NICE_CANDIDATE_MAX_FOUNDATION);
            nice_address_set_from_string(&candidate->addr, given.ip.constData());
            nice_address_set_port(&candidate->addr, given.port);
            candidates = g_slist_prepend(candidates, candidate);
        }
        nice_agent_set_remote_candidates(agent, stream, 1, candidates);
        g_slist_free_full(candidates, reinterpret_cast<GDestroyNotify>(&nice_candidate_free));
    }
};

IceLinks::IceLinks(quint16 gamePort, const QList<IceServer> &servers, std::function<void(const JingleMessage &)> send,
                   std::function<void(const QString &)> say)
    : gamePort(gamePort), configured(servers), send(std::move(send)), say(std::move(say))
{
    setServers({});
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [this] { tick(); });
    ticker.start(TickMs);
    // Qt's own loop runs the GLib context where Qt is built with GLib; else it is polled.
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib")) {
        QObject::connect(&pump, &QTimer::timeout, &pump, [] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        });
        pump.start(2);
    }
}

IceLinks::~IceLinks()
{
    closeAll();
}

void IceLinks::signedIn(const QString &jid)
{
    ownJid = jid;
}

void IceLinks::setServers(const QList<IceServer> &given)
{
    servers.clear();
    for (IceServer server : configured + given) {
        if (QHostAddress(server.host).protocol() != QAbstractSocket::IPv4Protocol) {
            const QList<QHostAddress> found = QHostInfo::fromName(server.host).addresses();
            const auto v4 = std::find_if(found.cbegin(), found.cend(), [](const QHostAddress &a) {
                return a.protocol() == QAbstractSocket::IPv4Protocol;
            });
            if (v4 == found.cend()) {
                say(QStringLiteral("cannot find the %1 server %2: links go without it")
                        .arg(server.turn ? QStringLiteral("TURN") : QStringLiteral("STUN"), PlainText(server.host)));
                continue;
            }
            server.host = v4->toString();
        }
        servers.append(server);
    }
    // The links we opened that are not connected yet start again with the servers.
    for (auto &[peer, link] : links) {
        if (link->initiator && !link->ready)
            start(*link, newSid());
    }
}

QString IceLinks::open(const QString &peer)
{
    const QString bare = peer.section(u'/', 0, 0).toLower();
    auto found = links.find(peer.toLower());
    if (found == links.end()) {
        quint8 alias = aliasOf.value(bare);
        if (!alias) {
            if (aliasOf.size() >= 253)
                return QString();
            alias = static_cast<quint8>(aliasOf.size() + 2);
            aliasOf.insert(bare, alias);
        }
        auto link = std::make_unique<Link>();
        link->owner = this;
        link->peer = peer;
        link->alias = alias;
        link->initiator = !ownJid.isEmpty() && ownJid < peer;
        QString error;
        if (!link->bindRelay(error))
            say(QStringLiteral("cannot relay the game's datagrams for %1 on 127.0.0.%2 port %3: %4")
                    .arg(PlainText(peer.left(200)))
                    .arg(alias)
                    .arg(gamePort)
                    .arg(error));
        if (link->initiator)
            start(*link, newSid());
        found = links.emplace(peer.toLower(), std::move(link)).first;
    }
    return QStringLiteral("127.0.0.%1").arg(found->second->alias);
}

void IceLinks::close(const QString &peer)
{
    const auto found = links.find(peer.toLower());
    if (found == links.end())
        return;
    if (found->second->agent)
        send(JingleMessage{found->second->peer, "session-terminate", found->second->sid, {}, {}, {}});
    links.erase(found);
}

void IceLinks::closeAll()
{
    while (!links.empty())
        close(links.begin()->first);
}

void IceLinks::start(Link &link, const QByteArray &sid)
{
    link.stop();
    link.sid = sid;
    link.startedAt = Clock::now();
    // Regular nomination: the side that opened the link picks the best pair once the checks
    // are done, and both sides send on it.
    link.agent = nice_agent_new_full(g_main_context_default(), NICE_COMPATIBILITY_RFC5245,
                                     NICE_AGENT_OPTION_REGULAR_NOMINATION);
    g_object_set(link.agent, "controlling-mode", link.initiator ? TRUE : FALSE, "keepalive-conncheck", TRUE,
                 "ice-tcp", FALSE, "upnp", FALSE, nullptr);
    for (const IceServer &server : std::as_const(servers)) {
        if (!server.turn)
            g_object_set(link.agent, "stun-server", server.host.toLatin1().constData(), "stun-server-port",
                         guint(server.port), nullptr);
    }
    g_signal_connect(link.agent, "candidate-gathering-done", G_CALLBACK(&Link::gatheringDone), &link);
    g_signal_connect(link.agent, "component-state-changed", G_CALLBACK(&Link::stateChanged), &link);
    g_signal_connect(link.agent, "new-selected-pair-full", G_CALLBACK(&Link::pairSelected), &link);
    link.stream = nice_agent_add_stream(link.agent, 1);
    for (const IceServer &server : std::as_const(servers)) {
        if (server.turn)
            nice_agent_set_relay_info(link.agent, link.stream, 1, server.host.toLatin1().constData(), server.port,
                                      server.username.constData(), server.password.constData(),
                                      NICE_RELAY_TYPE_TURN_UDP);
    }
    nice_agent_attach_recv(link.agent, link.stream, 1, g_main_context_default(), &Link::fromPeerReady, &link);
    nice_agent_gather_candidates(link.agent, link.stream);
}

void IceLinks::received(const JingleMessage &message)
{
    if (message.action == "session-initiate") {
        open(message.peer);
        Link &link = *links.at(message.peer.toLower());
        if (link.initiator)
            return;   // the peer should answer ours: two offers at once are settled by the JIDs
        start(link, message.sid);
        link.remote = message;
        link.haveRemote = true;
        return;
    }
    const auto found = links.find(message.peer.toLower());
    if (found == links.end() || found->second->sid != message.sid || !found->second->agent)
        return;   // a session that is over
    Link &link = *found->second;
    if (message.action == "session-terminate") {
        link.stop();
        link.failed = true;
    } else if (message.action == "session-accept" && link.initiator && !link.haveRemote) {
        link.remote = message;
        link.haveRemote = true;
        if (link.gathered)
            link.applyRemote();
    }
}

void IceLinks::tick()
{
    const auto now = Clock::now();
    for (auto &[peer, link] : links) {
        if (link->initiator && (link->failed || (!link->ready && now - link->startedAt > ConnectWithin)))
            start(*link, newSid());
    }
}

bool ParseStunServer(const QString &text, IceServer &server)
{
    bool ok = false;
    const uint port = text.section(u':', 1).toUInt(&ok);
    server = IceServer{false, text.section(u':', 0, 0), static_cast<quint16>(port), {}, {}};
    return ok && port > 0 && port < 65536 && !server.host.isEmpty() && text.count(u':') == 1;
}
