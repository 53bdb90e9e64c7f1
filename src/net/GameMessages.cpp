// The dispatcher of received game messages and the host's group sends.
#include "GameMessages.h"

#include "Contestants.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "Phrases.h"
#include "RaceModel.h"
#include "records.h"
#include "Roster.h"


#include <algorithm>
#include <array>

namespace {

constexpr int MaxPositionsJump = 10000;   // further ahead than any race goes: malformed

Msg::Positions numberedPositions()
{
    Msg::Positions positions;
    for (int slot = 0; slot < MaxContestants; ++slot)
        positions.progress[slot] = Model().contestants[slot].Progress;
    positions.number = ++CurrentRace().positionsSent;
    return positions;
}

// One handler per kind of message (empty: none installed).
std::array<MessageHandler, std::variant_size_v<Message>> &handlers()
{
    static std::array<MessageHandler, std::variant_size_v<Message>> table;
    return table;
}

bool handlersInstalled()
{
    return std::any_of(handlers().begin(), handlers().end(), [](const MessageHandler &handler) { return bool(handler); });
}

} // namespace

bool TakeNewPositions(const Msg::Positions &positions)
{
    const QString payload = payloadOf(positions);
    if (payload == Model().lastRosterPayload)
        return false;
    if (positions.number) {
        const int number = *positions.number;
        int &last = Model().lastPositionsTaken;
        if (number <= last || number - last > MaxPositionsJump)   // the first of a race too
            return false;
        last = number;
    }
    Model().lastRosterPayload = payload;
    return true;
}

void ForgetPositionsNumber()
{
    Model().lastPositionsTaken = 0;
}

namespace {

int listCount()
{
    return std::min(GameRoster().count(), MaxContestants);
}

// One send of the message to the contestants of the slots below slotLimit (on the wire
// to the remote ones); with unackedOnly, only to those whose acknowledgement is still
// awaited; with awaitAcknowledgement, it is awaited from now on.
void sendRound(const Message &message, int slotLimit, bool unackedOnly, bool awaitAcknowledgement)
{
    for (const std::unique_ptr<Contestant> &contestant : RosterContestants(slotLimit)) {
        if (unackedOnly && !contestant->awaitingAcknowledgement())
            continue;
        if (awaitAcknowledgement)
            contestant->awaitAcknowledgement();
        contestant->send(message);
    }
}

// Round 1 to every remote contestant, then the resend rounds to those whose
// acknowledgement is still awaited, while no race has started or been cancelled since.
Task<> sendInRounds(Message message, int rounds, int slotLimit)
{
    const RaceHold race;
    sendRound(message, slotLimit, false, true);
    for (int round = 2; round <= rounds; ++round) {
        co_await Wait(500);
        if (!race.goesOn())
            co_return;
        sendRound(message, slotLimit, true, false);
    }
}

void markSender(const QString &senderAddress, const std::function<void(int slot)> &change)
{
    for (const std::unique_ptr<Contestant> &contestant : RosterContestants(MaxContestants))
        if (contestant->isAt(senderAddress))
            change(contestant->slot());
}

void replaceRoster(const Msg::Roster &roster)
{
    GameRoster().reset();
    for (int slot = 0; slot < MaxContestants; ++slot) {
        ContestantRecord &record = Model().contestants[slot];
        record.Uin = roster.contestants[slot].uin;
        record.PlayerName = roster.contestants[slot].playerName;
        record.CharacterFile = roster.contestants[slot].characterFile;
        if (record.Uin.size() > 3)
            GameRoster().add(record.PlayerName, record.Uin, record.CharacterFile);
    }
}

template <typename Kind, typename... Kinds>
constexpr bool isOneOf = (std::is_same_v<Kind, Kinds> || ...);

// Whose messages each kind is: the host's steer only the copy it accepted, and only from
// its address; reports count only from the host's own roster (nor are strangers
// acknowledged); answers to a request only from where this joiner's last request went.
bool mayDispatch(const QString &senderAddress, const Message &message)
{
    return std::visit(
        [&senderAddress](const auto &kind) {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (isOneOf<Kind, Msg::Positions, Msg::Roster, Msg::StartRace, Msg::Cancel, Msg::Question,
                                  Msg::HostText>) {
                return FromOwnHost(senderAddress);
            } else if constexpr (isOneOf<Kind, Msg::Ready, Msg::RightAnswer, Msg::Skipped>) {
                return FromRoster(senderAddress);
            } else if constexpr (isOneOf<Kind, Msg::Accepted, Msg::Denied>) {
                const QString &requested = GameSession::current().requestedHostAddress();
                return CurrentPlayMode() == JoinGame && !requested.isEmpty() && senderAddress == requested;
            } else {
                return true;
            }
        },
        message);
}

} // namespace

bool FromOwnHost(const QString &address)
{
    const QString &host = GameSession::current().hostAddress();
    return CurrentPlayMode() == JoinGame && !host.isEmpty() && address == host;
}

bool FromRoster(const QString &address)
{
    const Contestants contestants = RosterContestants(MaxContestants);
    return std::any_of(contestants.begin(), contestants.end(),
                       [&address](const std::unique_ptr<Contestant> &contestant) { return contestant->isAt(address); });
}

void ForgetNetworkGame()
{
    GameSession::current().setHostAddress(QString());
    GameSession::current().setRequestedHostAddress(QString());
    Model().lastRosterPayload.clear();
    ForgetPositionsNumber();
    GameSession::current().setJoinedRace(false);
    Model().lastQuestionKey.clear();
    if (TheTransport)
        TheTransport->ForgetRepeats();
}

void Acknowledge(const QString &address)
{
    SendGameMessage(address, Msg::Acknowledge{});
}

void SetMessageHandler(std::size_t kind, MessageHandler handler)
{
    handlers().at(kind) = std::move(handler);
}

void ClearMessageHandlers()
{
    handlers().fill(MessageHandler());
}

void DispatchMessage(const QString &senderAddress, const QString &text)
{
    const std::optional<Message> message = Msg::parse(text);
    if (!message)
        return;
    if (FromOwnHost(senderAddress))   // a joiner whose host falls silent ends its race
        CurrentRace().hostHeardMs = GameClock().nowMs();
    if (std::holds_alternative<Msg::Acknowledge>(*message)) {
        if (TheTransport)
            TheTransport->NoteAcknowledgement(senderAddress);
        markSender(senderAddress, [](int slot) { Model().contestants[slot].Acked = true; });
        return;
    }
    if (!handlersInstalled())
        return;   // the game is not up (or going): only acknowledgements are noted
    if (!mayDispatch(senderAddress, *message))
        return;
    if (const auto *roster = std::get_if<Msg::Roster>(&*message)) {
        const QString payload = payloadOf(*roster);
        if (GameSession::current().raceRunning() || payload == Model().lastRosterPayload)
            return;
        Model().lastRosterPayload = payload;
        Acknowledge(senderAddress);
        if (!GameSession::current().joinedRace())
            replaceRoster(*roster);
    } else if (std::holds_alternative<Msg::Ready>(*message)) {
        // A question on show stays outstanding: only its answer frees the slot.
        markSender(senderAddress, [](int slot) {
            if (Model().contestants[slot].Confirmed != SlotQuestionOutstanding)
                GameRoster().setSlotState(slot, SlotReady);
        });
    } else if (const auto *invitation = std::get_if<Msg::Invitation>(&*message)) {
        if (!GameSession::current().raceRunning()) {
            GameSession::current().setInviterUin(invitation->uin);
            GameSession::current().setInviterName(invitation->name.value_or(QString()));
        }
    } else if (const MessageHandler handler = handlers()[message->index()]) {
        handler(senderAddress, *message);   // a copy: a handler may change the table
    }
}

Msg::Roster RosterMessage()
{
    Msg::Roster roster;
    const QString blank = QStringLiteral(" ");   // an empty slot travels as blanks
    for (int slot = 0; slot < MaxContestants; ++slot) {
        if (slot >= listCount()) {
            roster.contestants[slot] = {blank, blank, blank};
            continue;
        }
        const ContestantItemFields fields = GameRoster().fields(slot);
        roster.contestants[slot] = {fields.Uin, fields.PlayerName, fields.CharacterFile};
    }
    return roster;
}

QString RosterPayload()
{
    return payloadOf(RosterMessage());
}

namespace {
QString gameTypePhrase()
{
    return LookupPhrase(QStringLiteral("Gt") + QString::number(CurrentGameType()));
}

QString difficultyPhrase()
{
    const int difficulty = GameSession::current().playSettings().difficulty();
    return LookupPhrase(QStringLiteral("dl") + QString::number(difficulty));
}
} // namespace

Msg::HostText AcceptGameText()
{
    return {gameTypePhrase() + difficultyPhrase(), {}};
}

Msg::HostText SettingsGameText()
{
    const Records::OptionsRecord &options = Records::Options;
    return {QStringLiteral("Host: ") + options.UserName.left(20) + u' ' + QString::number(options.UserUin)
                + QStringLiteral("\r\n") + gameTypePhrase() + QStringLiteral("\r\n") + difficultyPhrase(),
            {}};
}

QString InvitationText()
{
    return QStringLiteral("\r\n&&getattention\r\n") + Records::Options.UserName + QStringLiteral(", ")
           + LookupPhrase(QStringLiteral("IV1")) + QStringLiteral("\r\n&&explain\r\n")
           + LookupPhrase(QStringLiteral("IV2")) + u' ' + gameTypePhrase();
}

Task<> SendRoster()
{
    return sendInRounds(RosterMessage(), 3, MaxContestants);
}

Task<> SendStartRace()
{
    return sendInRounds(Msg::StartRace{}, 3, MaxContestants);
}

Task<> SendPositions()
{
    return sendInRounds(numberedPositions(), 2, listCount());
}

namespace {
void resendFinalPositions(const Msg::Positions &positions, int left, const RaceHold &race)
{
    if (left <= 0 || !TheTransport)
        return;
    GameClock().after(500, [positions, left, race] {
        if (!TheTransport || !race.goesOn())
            return;   // the ceremony was cancelled, or the program is ending
        sendRound(positions, listCount(), false, false);
        resendFinalPositions(positions, left - 1, race);
    });
}
} // namespace

void SendFinalPositions()
{
    // A joiner that misses them never sees the finish. An acknowledgement does not tell
    // which message it answers (a late one may be for older positions), so they go to
    // every joiner once and then again every 500 ms, eight times, while the ceremony plays.
    const Msg::Positions positions = numberedPositions();
    sendRound(positions, listCount(), false, true);
    resendFinalPositions(positions, 8, RaceHold());
}

void SendCancel()
{
    // The contestants as they are now, each remote one with its address: a new play mode
    // or "New Game" empties the roster before the second send. That one goes by a plain
    // timer, not a wait, so that the end of the program does not swallow it; the end is
    // held for it instead.
    const auto contestants = std::make_shared<const Contestants>(RosterContestants(listCount()));
    const auto send = [contestants] {
        bool sent = false;
        for (const std::unique_ptr<Contestant> &contestant : *contestants)
            sent = contestant->send(Msg::Cancel{}) || sent;
        return sent;
    };
    if (!send())
        return;   // no joiner
    HoldTermination(600);
    GameClock().after(500, send);
}

void SendGameDescription()
{
    const Msg::HostText text = SettingsGameText();
    for (const std::unique_ptr<Contestant> &contestant : RosterContestants(listCount()))
        contestant->send(text);
}

Task<bool> SendMessengerText(QString text, QString address)
{
    // Marked with the user's UIN.
    const Msg::MessengerText message{QString::number(Records::Options.UserUin), text, {}};
    const AckWait acknowledged(TheTransport, address);
    SendToPorts(message, address, MessengerPort());
    const auto arrived = [&acknowledged] { return acknowledged.arrived(); };
    if (co_await WaitUntil(arrived, 10, 100))
        co_return true;
    SendToPorts(message, address, 80);
    co_return acknowledged.arrived();
}
