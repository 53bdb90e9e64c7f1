// The dispatcher of received game messages and the host's group sends.
#include "GameMessages.h"

#include "DataFiles.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "MessageCodes.h"
#include "Phrases.h"
#include "RaceModel.h"
#include "records.h"
#include "Roster.h"
#include "Utilities.h"

#include <QHash>
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

namespace {

// "RP" carries a trailing number, one more with each set of positions the host sends:
// a late or replayed set (the network may reorder) must not undo a newer one.
int positionsSent = 0;       // host: the number of the last set sent
int lastPositionsTaken = 0;  // joiner: the number of the last set taken (0: none yet)
constexpr int MaxPositionsJump = 10000;   // further ahead than any race goes: malformed

QString numberedPositions()
{
    return PositionsPayload() + QStringLiteral("&&") + QString::number(++positionsSent);
}

QHash<QString, MessageHandler> &handlers()
{
    static QHash<QString, MessageHandler> table;
    return table;
}

} // namespace

bool AcceptPositionsNumber(const QString &payload)
{
    const QStringList fields = payload.split(QStringLiteral("&&"));
    if (fields.size() <= MaxContestants)
        return true;
    bool ok = false;
    const int number = fields[MaxContestants].toInt(&ok);
    if (!ok || number <= lastPositionsTaken
        || (lastPositionsTaken > 0 && number - lastPositionsTaken > MaxPositionsJump))
        return false;
    lastPositionsTaken = number;
    return true;
}

void ForgetPositionsNumber()
{
    lastPositionsTaken = 0;
}

namespace {

int listCount()
{
    return std::min(ContestantCount(), MaxContestants);
}

// One send of code + payload to the slots below slotLimit that have an address; with
// unackedOnly, only to those whose Acked is still clear; with clearAcked, clears it.
void sendRound(const QString &code, const QString &payload, int slotLimit, bool unackedOnly, bool clearAcked)
{
    for (int slot = 0; slot < slotLimit; ++slot) {
        ContestantRecord &record = ContestantTable[slot];
        if (record.Address.isEmpty() || (unackedOnly && record.Acked))
            continue;
        if (clearAcked)
            record.Acked = false;
        SendGameMessage(code, record.Address, payload);
    }
}

// Round 1 to every remote slot, then the resend rounds to the slots still unacknowledged,
// while no race has started or been cancelled since.
Task<> sendInRounds(QString code, QString payload, int rounds, int slotLimit)
{
    const quint64 ticket = GameSession::current().raceTicket();
    sendRound(code, payload, slotLimit, false, true);
    for (int round = 2; round <= rounds; ++round) {
        co_await Wait(500);
        if (!GameSession::current().raceGoesOn(ticket))
            co_return;
        sendRound(code, payload, slotLimit, true, false);
    }
}

void markSender(const QString &senderAddress, const std::function<void(ContestantRecord &)> &change)
{
    for (ContestantRecord &record : ContestantTable)
        if (!record.Address.isEmpty() && record.Address == senderAddress)
            change(record);
}

// The roster's eighteen fields; a missing field is empty, so that a short or garbled
// roster adds no contestant made of the fields of another.
void replaceRoster(const QString &payload)
{
    const QStringList fields = payload.split(QStringLiteral("&&"));
    ResetContestantTable();
    for (int slot = 0; slot < MaxContestants; ++slot) {
        ContestantRecord &record = ContestantTable[slot];
        record.Uin = fields.value(3 * slot).left(ContestantUinCapacity);
        record.PlayerName = fields.value(3 * slot + 1).left(ContestantNameCapacity);
        // A character is a file of the character folder: no path from a peer is followed.
        record.CharacterFile = NameOfPath(fields.value(3 * slot + 2)).left(ContestantFileCapacity);
        if (record.Uin.size() > 3)
            AddContestant(record.PlayerName, record.Uin, record.CharacterFile);
    }
}

void takeInvitation(QString payload)
{
    const QString before = payload;
    GameSession::current().setInviterUin(NextField(payload));
    // A ping to the messenger port carries the UIN alone: then there is no name.
    GameSession::current().setInviterName(payload == before ? QString() : NextField(payload));
}

} // namespace

bool FromOwnHost(const QString &address)
{
    const QString &host = GameSession::current().hostAddress();
    return CurrentPlayMode() == JoinGame && !host.isEmpty() && address == host;
}

bool FromRoster(const QString &address)
{
    if (address.isEmpty())
        return false;
    for (const ContestantRecord &record : ContestantTable)
        if (record.Address == address)
            return true;
    return false;
}

void ForgetNetworkGame()
{
    GameSession::current().setHostAddress(QString());
    GameSession::current().setRequestedHostAddress(QString());
    LastRosterPayload.clear();
    ForgetPositionsNumber();
    GameSession::current().setJoinedRace(false);
    LastQuestionKey.clear();
    if (TheTransport)
        TheTransport->ForgetRepeats();
}

void Acknowledge(const QString &address)
{
    SendGameMessage(MessageCode::Acknowledge, address, QString());
}

void SetMessageHandler(const QString &code, MessageHandler handler)
{
    handlers().insert(code, std::move(handler));
}

void ClearMessageHandlers()
{
    handlers().clear();
}

void DispatchMessage(const QString &senderAddress, const QString &text)
{
    if (text.size() < 2)
        return;
    const QString code = text.left(2);
    QString payload = text.mid(2);
    const QString senderName = NextField(payload);

    if (code == MessageCode::Acknowledge) {
        AckWait::Note(senderAddress);
        markSender(senderAddress, [](ContestantRecord &record) { record.Acked = true; });
        return;
    }
    if (handlers().isEmpty())
        return;   // the game is not up (or going): only acknowledgements are noted
    // The host's messages steer only the copy it accepted, and only from its address.
    static const QStringList hostCodes = {MessageCode::Positions, MessageCode::Roster, MessageCode::StartRace,
                                          MessageCode::Cancel, MessageCode::Question, MessageCode::HostText};
    if (hostCodes.contains(code) && !FromOwnHost(senderAddress))
        return;
    // Reports count only from the host's own roster (nor are strangers acknowledged).
    static const QStringList reportCodes = {MessageCode::Ready, MessageCode::RightAnswer, MessageCode::Skipped};
    if (reportCodes.contains(code) && !FromRoster(senderAddress))
        return;
    // Answers to a request: only from where this joiner's last request went.
    const QString &requested = GameSession::current().requestedHostAddress();
    if ((code == MessageCode::Accepted || code == MessageCode::Denied)
        && (CurrentPlayMode() != JoinGame || requested.isEmpty() || senderAddress != requested))
        return;
    if (code == MessageCode::Roster) {
        // A roster always has its eighteen fields: anything else is malformed.
        if (GameSession::current().raceRunning() || payload == LastRosterPayload
            || payload.count(QLatin1String("&&")) != 3 * MaxContestants - 1)
            return;
        LastRosterPayload = payload;
        Acknowledge(senderAddress);
        if (!GameSession::current().joinedRace())
            replaceRoster(payload);
    } else if (code == MessageCode::Ready) {
        // A question on show stays outstanding: only its answer frees the slot.
        markSender(senderAddress, [](ContestantRecord &record) {
            if (record.Confirmed != SlotQuestionOutstanding)
                record.Confirmed = SlotReady;
        });
        RosterChanged();
    } else if (code == MessageCode::Invitation) {
        if (!GameSession::current().raceRunning())
            takeInvitation(payload);
    } else if (const auto handler = handlers().constFind(code); handler != handlers().constEnd()) {
        const MessageHandler handle = *handler;   // a handler may change the table
        handle(senderAddress, senderName, payload);
    }
}

QString RosterPayload()
{
    QString payload;
    for (int slot = 0; slot < MaxContestants; ++slot) {
        if (slot >= listCount()) {
            payload += QStringLiteral("&& && && ");
            continue;
        }
        const ContestantItemFields fields = ContestantFields(slot);
        payload += QStringLiteral("&&") + fields.Uin + QStringLiteral("&&") + fields.PlayerName
                   + QStringLiteral("&&") + fields.CharacterFile;
    }
    return payload;
}

QString PositionsPayload()
{
    QString payload;
    for (const ContestantRecord &record : ContestantTable)
        payload += QStringLiteral("&&") + QString::number(record.Progress);
    return payload;
}

namespace {
QString gameTypePhrase()
{
    return LookupPhrase(QStringLiteral("Gt") + QString::number(CurrentGameType()));
}

QString difficultyPhrase()
{
    const int difficulty = GameSession::current().difficulty();
    return LookupPhrase(QStringLiteral("dl") + QString::number(difficulty));
}
} // namespace

QString AcceptGameText()
{
    return QStringLiteral("&&") + gameTypePhrase() + difficultyPhrase();
}

QString SettingsGameText()
{
    const Records::OptionsRecord &options = Records::Options;
    return QStringLiteral("&&Host: ") + options.UserName.left(20) + u' ' + QString::number(options.UserUin)
           + QStringLiteral("\r\n") + gameTypePhrase() + QStringLiteral("\r\n") + difficultyPhrase();
}

QString InvitationText()
{
    return QStringLiteral("\r\n&&getattention\r\n") + Records::Options.UserName + QStringLiteral(", ")
           + LookupPhrase(QStringLiteral("IV1")) + QStringLiteral("\r\n&&explain\r\n")
           + LookupPhrase(QStringLiteral("IV2")) + u' ' + gameTypePhrase();
}

QString MessengerTextPayload(const QString &text)
{
    return QStringLiteral("&&\r\n$$UIN") + QString::number(Records::Options.UserUin)
           + QStringLiteral("\r\n &&\r\n ") + text;
}

Task<> SendRoster()
{
    return sendInRounds(MessageCode::Roster, RosterPayload(), 3, MaxContestants);
}

Task<> SendStartRace()
{
    return sendInRounds(MessageCode::StartRace, QString(), 3, MaxContestants);
}

Task<> SendPositions()
{
    return sendInRounds(MessageCode::Positions, numberedPositions(), 2, listCount());
}

namespace {
void resendFinalPositions(const QString &payload, int left, quint64 ticket)
{
    if (left <= 0 || !TheTransport)
        return;
    QTimer::singleShot(ScaledInterval(500), TheTransport, [payload, left, ticket] {
        if (!GameSession::current().raceGoesOn(ticket))
            return;   // the ceremony was cancelled
        sendRound(MessageCode::Positions, payload, listCount(), false, false);
        resendFinalPositions(payload, left - 1, ticket);
    });
}
} // namespace

void SendFinalPositions()
{
    // A joiner that misses them never sees the finish. An acknowledgement does not tell
    // which message it answers (a late one may be for older positions), so they go to
    // every joiner once and then again every 500 ms, eight times, while the ceremony plays.
    const QString payload = numberedPositions();
    sendRound(MessageCode::Positions, payload, listCount(), false, true);
    resendFinalPositions(payload, 8, GameSession::current().raceTicket());
}

void SendCancel()
{
    // The joiners as they are now: a new play mode or "New Game" empties the roster
    // before the second send. That one goes by a plain timer, not a wait, so that the
    // end of the program does not swallow it; the end is held for it instead.
    QStringList joiners;
    for (int slot = 0; slot < listCount(); ++slot)
        if (!ContestantTable[slot].Address.isEmpty())
            joiners << ContestantTable[slot].Address;
    if (joiners.isEmpty())
        return;
    const auto send = [joiners] {
        for (const QString &address : joiners)
            SendGameMessage(MessageCode::Cancel, address, QString());
    };
    send();
    HoldTermination(600);
    QTimer::singleShot(ScaledInterval(500), Qt::PreciseTimer, QCoreApplication::instance(), send);
}

void SendGameDescription()
{
    const QString text = SettingsGameText();
    for (int slot = 0; slot < listCount(); ++slot)
        SendGameMessage(MessageCode::HostText, ContestantTable[slot].Address, text);
}

Task<bool> SendMessengerText(QString text, QString address)
{
    const QString payload = MessengerTextPayload(text);
    const AckWait acknowledged(address);
    SendToPorts(MessageCode::MessengerText, address, payload, MessengerPort());
    const auto arrived = [&acknowledged] { return acknowledged.arrived(); };
    if (co_await WaitUntil(arrived, 10, 100))
        co_return true;
    SendToPorts(MessageCode::MessengerText, address, payload, 80);
    co_return acknowledged.arrived();
}
