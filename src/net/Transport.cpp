#include "Transport.h"

#include "Phrases.h"

namespace {
QString ownText(const Message &message)
{
    Message own = message;
    std::visit([](auto &kind) { kind.sender = PlayerSpeechName(); }, own);
    return serialize(own);
}
} // namespace

Transport::~Transport()
{
    for (AckWait *wait : std::as_const(ackWaits_))
        wait->transport = nullptr;   // a wait that outlives the transport notes nothing more
}

bool Transport::send(const QString &address, const Message &message)
{
    if (address.isEmpty())
        return false;   // a contestant run here: the parameter file is not even read
    return sendText(address, ownText(message));
}

bool Transport::send(const QString &code, const QString &address, const QString &payload)
{
    if (address.isEmpty())
        return false;
    return sendText(address, code + PlayerSpeechName() + payload);
}

bool Transport::sendToPort(const Message &message, const QString &address, quint16 port)
{
    if (address.isEmpty())
        return false;
    return sendToPort(address, port, ownText(message));
}

void Transport::noteAcknowledgement(const QString &from)
{
    if (from.isEmpty())
        return;
    for (AckWait *wait : std::as_const(ackWaits_))
        if (wait->address == from)
            wait->arrivedFlag = true;
}

AckWait::AckWait(Transport &to, const QString &from) : transport(&to), address(from)
{
    transport->ackWaits_.append(this);
}

AckWait::~AckWait()
{
    if (transport)
        transport->ackWaits_.removeOne(this);
}
