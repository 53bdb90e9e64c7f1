// The signalling of the datagram links between friends, carried in XMPP: Jingle sessions
// (urn:xmpp:jingle:1) with one content of our own application and the ICE-UDP transport
// (urn:xmpp:jingle:transports:ice-udp:1), all candidates at once (no trickle); and the
// STUN/TURN servers that the XMPP server hands out (urn:xmpp:extdisco:2).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <strophe.h>

inline constexpr char JingleNamespace[] = "urn:xmpp:jingle:1";
inline constexpr char IceUdpNamespace[] = "urn:xmpp:jingle:transports:ice-udp:1";
// The application of our content: the game's datagrams, relayed.
inline constexpr char DatagramsNamespace[] = "urn:hollyfrost:datagrams:0";
inline constexpr char ExternalServicesNamespace[] = "urn:xmpp:extdisco:2";
// At most this many candidates are taken from one message.
constexpr int MaxJingleCandidates = 24;

struct JingleCandidate {
    QByteArray foundation;
    QByteArray ip;
    quint16 port = 0;
    quint32 priority = 0;
    QByteArray type;   // host, srflx, prflx or relay
};

struct JingleMessage {
    QString peer;        // the other side's full JID
    QByteArray action;   // session-initiate, session-accept, transport-info or session-terminate
    QByteArray sid;
    QByteArray ufrag, pwd;
    QList<JingleCandidate> candidates;
};

struct IceServer {
    bool turn = false;
    QString host;
    quint16 port = 0;
    QByteArray username, password;   // TURN only
};

// The iq that carries |message| to message.peer.
xmpp_stanza_t *JingleStanza(xmpp_ctx_t *ctx, const JingleMessage &message);
// Reads the Jingle element of an iq of type set. Returns false with |why| set when it is not
// a well-formed message of our application.
bool ParseJingle(xmpp_stanza_t *iq, JingleMessage &message, QString &why);
// The request for the STUN and TURN servers of |domain|, and the servers in its answer.
xmpp_stanza_t *ServicesRequest(xmpp_ctx_t *ctx, const QString &domain);
QList<IceServer> ParseServices(xmpp_stanza_t *result);
