// The dispatcher of received game messages and the host's group sends.
#include "GameMessages.h"

#include "GameSession.h"
#include "GameTransport.h"
#include "Phrases.h"
#include "PlaySettings.h"
#include "records.h"
#include "Roster.h"
#include "Transport.h"

#include <algorithm>

namespace {

constexpr int MaxPositionsJump = 10000;   // further ahead than any race goes: malformed

template <typename Kind, typename... Kinds>
constexpr bool isOneOf = (std::is_same_v<Kind, Kinds> || ...);

} // namespace

Dispatcher::Dispatcher(GameSession &session, Roster &roster, PlaySettings &settings, Transport &transport)
    : session_(session), roster_(roster), settings_(settings), transport_(transport)
{
}

Dispatcher::~Dispatcher()
{
    *alive_ = false;
}

Msg::Positions Dispatcher::numberedPositions()
{
    Msg::Positions positions;
    for (int slot = 0; slot < MaxContestants; ++slot)
        positions.progress[slot] = roster_.model().contestants[slot].Progress;
    positions.number = ++session_.raceRun().positionsSent;
    return positions;
}

bool Dispatcher::takeNewPositions(const Msg::Positions &positions)
{
    RaceModel &model = roster_.model();
    const QString payload = payloadOf(positions);
    if (payload == model.lastRosterPayload)
        return false;
    if (positions.number) {
        const int number = *positions.number;
        int &last = model.lastPositionsTaken;
        if (number <= last || number - last > MaxPositionsJump)   // the first of a race too
            return false;
        last = number;
    }
    model.lastRosterPayload = payload;
    return true;
}

void Dispatcher::forgetPositionsNumber()
{
    roster_.model().lastPositionsTaken = 0;
}

int Dispatcher::listCount() const
{
    return std::min(roster_.count(), MaxContestants);
}

Contestants Dispatcher::contestants(int slotLimit) const
{
    return RosterContestants(roster_, transport_, slotLimit);
}

// One send of the message to the contestants of the slots below slotLimit (on the wire
// to the remote ones); with unackedOnly, only to those whose acknowledgement is still
// awaited; with awaitAcknowledgement, it is awaited from now on.
void Dispatcher::sendRound(const Message &message, int slotLimit, bool unackedOnly, bool awaitAcknowledgement)
{
    for (const std::unique_ptr<Contestant> &contestant : contestants(slotLimit)) {
        if (unackedOnly && !contestant->awaitingAcknowledgement())
            continue;
        if (awaitAcknowledgement)
            contestant->awaitAcknowledgement();
        contestant->send(message);
    }
}

// Round 1 to every remote contestant, then the resend rounds to those whose
// acknowledgement is still awaited, while no race has started or been cancelled since.
Task<> Dispatcher::sendInRounds(Message message, int rounds, int slotLimit)
{
    const RaceHold race(session_.raceRun());
    sendRound(message, slotLimit, false, true);
    for (int round = 2; round <= rounds; ++round) {
        co_await Wait(500);
        if (!race.goesOn())
            co_return;
        sendRound(message, slotLimit, true, false);
    }
}

void Dispatcher::markSender(const QString &senderAddress, const std::function<void(int slot)> &change)
{
    for (const std::unique_ptr<Contestant> &contestant : contestants(MaxContestants))
        if (contestant->isAt(senderAddress))
            change(contestant->slot());
}

void Dispatcher::replaceRoster(const Msg::Roster &roster)
{
    roster_.reset();
    for (int slot = 0; slot < MaxContestants; ++slot) {
        ContestantRecord &record = roster_.model().contestants[slot];
        record.Uin = roster.contestants[slot].uin;
        record.PlayerName = roster.contestants[slot].playerName;
        record.CharacterFile = roster.contestants[slot].characterFile;
        if (record.Uin.size() > 3)
            roster_.add(record.PlayerName, record.Uin, record.CharacterFile);
    }
}

// Whose messages each kind is: the host's steer only the copy it accepted, and only from
// its address; reports count only from the host's own roster (nor are strangers
// acknowledged); answers to a request only from where this joiner's last request went.
bool Dispatcher::mayDispatch(const QString &senderAddress, const Message &message) const
{
    return std::visit(
        [this, &senderAddress](const auto &kind) {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (isOneOf<Kind, Msg::Positions, Msg::Roster, Msg::StartRace, Msg::Cancel, Msg::Question,
                                  Msg::HostText>) {
                return fromOwnHost(senderAddress);
            } else if constexpr (isOneOf<Kind, Msg::Ready, Msg::RightAnswer, Msg::Skipped>) {
                return fromRoster(senderAddress);
            } else if constexpr (isOneOf<Kind, Msg::Accepted, Msg::Denied>) {
                const QString &requested = session_.requestedHostAddress();
                return settings_.playMode() == JoinGame && !requested.isEmpty() && senderAddress == requested;
            } else {
                return true;
            }
        },
        message);
}

bool Dispatcher::fromOwnHost(const QString &address) const
{
    const QString &host = session_.hostAddress();
    return settings_.playMode() == JoinGame && !host.isEmpty() && address == host;
}

bool Dispatcher::fromRoster(const QString &address) const
{
    const Contestants all = contestants(MaxContestants);
    return std::any_of(all.begin(), all.end(),
                       [&address](const std::unique_ptr<Contestant> &contestant) { return contestant->isAt(address); });
}

void Dispatcher::forgetNetworkGame()
{
    session_.setHostAddress(QString());
    session_.setRequestedHostAddress(QString());
    roster_.model().lastRosterPayload.clear();
    forgetPositionsNumber();
    session_.setJoinedRace(false);
    roster_.model().lastQuestionKey.clear();
    transport_.forgetRepeats();
}

void Dispatcher::acknowledge(const QString &address)
{
    transport_.send(address, Msg::Acknowledge{});
}

void Dispatcher::setHandler(std::size_t kind, MessageHandler handler)
{
    handlers_.at(kind) = std::move(handler);
}

void Dispatcher::clearHandlers()
{
    handlers_.fill(MessageHandler());
}

void Dispatcher::dispatch(const QString &senderAddress, const QString &text)
{
    const std::optional<Message> message = Msg::parse(text);
    if (!message)
        return;
    RaceModel &model = roster_.model();
    if (fromOwnHost(senderAddress))   // a joiner whose host falls silent ends its race
        session_.raceRun().hostHeardMs = GameClock().nowMs();
    if (std::holds_alternative<Msg::Acknowledge>(*message)) {
        transport_.noteAcknowledgement(senderAddress);
        markSender(senderAddress, [&model](int slot) { model.contestants[slot].Acked = true; });
        return;
    }
    const bool installed = std::any_of(handlers_.begin(), handlers_.end(),
                                       [](const MessageHandler &handler) { return bool(handler); });
    if (!installed)
        return;   // the game is not up (or going): only acknowledgements are noted
    if (!mayDispatch(senderAddress, *message))
        return;
    if (const auto *roster = std::get_if<Msg::Roster>(&*message)) {
        const QString payload = payloadOf(*roster);
        if (session_.raceRunning() || payload == model.lastRosterPayload)
            return;
        model.lastRosterPayload = payload;
        acknowledge(senderAddress);
        if (!session_.joinedRace())
            replaceRoster(*roster);
    } else if (std::holds_alternative<Msg::Ready>(*message)) {
        // A question on show stays outstanding: only its answer frees the slot.
        markSender(senderAddress, [this, &model](int slot) {
            if (model.contestants[slot].Confirmed != SlotQuestionOutstanding)
                roster_.setSlotState(slot, SlotReady);
        });
    } else if (const auto *invitation = std::get_if<Msg::Invitation>(&*message)) {
        if (!session_.raceRunning()) {
            session_.setInviterUin(invitation->uin);
            session_.setInviterName(invitation->name.value_or(QString()));
        }
    } else if (const MessageHandler handler = handlers_[message->index()]) {
        handler(senderAddress, *message);   // a copy: a handler may change the table
    }
}

Msg::Roster Dispatcher::rosterMessage() const
{
    Msg::Roster roster;
    const QString blank = QStringLiteral(" ");   // an empty slot travels as blanks
    for (int slot = 0; slot < MaxContestants; ++slot) {
        if (slot >= listCount()) {
            roster.contestants[slot] = {blank, blank, blank};
            continue;
        }
        const ContestantItemFields fields = roster_.fields(slot);
        roster.contestants[slot] = {fields.Uin, fields.PlayerName, fields.CharacterFile};
    }
    return roster;
}

QString Dispatcher::rosterPayload() const
{
    return payloadOf(rosterMessage());
}

QString Dispatcher::gameTypePhrase() const
{
    return LookupPhrase(QStringLiteral("Gt") + QString::number(settings_.gameType()));
}

QString Dispatcher::difficultyPhrase() const
{
    return LookupPhrase(QStringLiteral("dl") + QString::number(settings_.difficulty()));
}

Msg::HostText Dispatcher::acceptGameText() const
{
    return {gameTypePhrase() + difficultyPhrase(), {}};
}

Msg::HostText Dispatcher::settingsGameText() const
{
    const Records::OptionsRecord &options = Records::Options;
    return {QStringLiteral("Host: ") + options.UserName.left(20) + u' ' + QString::number(options.UserUin)
                + QStringLiteral("\r\n") + gameTypePhrase() + QStringLiteral("\r\n") + difficultyPhrase(),
            {}};
}

QString Dispatcher::invitationText() const
{
    return QStringLiteral("\r\n&&getattention\r\n") + Records::Options.UserName + QStringLiteral(", ")
           + LookupPhrase(QStringLiteral("IV1")) + QStringLiteral("\r\n&&explain\r\n")
           + LookupPhrase(QStringLiteral("IV2")) + u' ' + gameTypePhrase();
}

Task<> Dispatcher::sendRoster()
{
    return sendInRounds(rosterMessage(), 3, MaxContestants);
}

Task<> Dispatcher::sendStartRace()
{
    return sendInRounds(Msg::StartRace{}, 3, MaxContestants);
}

Task<> Dispatcher::sendPositions()
{
    return sendInRounds(numberedPositions(), 2, listCount());
}

void Dispatcher::resendFinalPositions(const Msg::Positions &positions, int left, const RaceHold &race)
{
    if (left <= 0)
        return;
    GameClock().after(500, [this, alive = alive_, positions, left, race] {
        if (!*alive || !race.goesOn())
            return;   // the ceremony was cancelled, or the program is ending
        sendRound(positions, listCount(), false, false);
        resendFinalPositions(positions, left - 1, race);
    });
}

void Dispatcher::sendFinalPositions()
{
    // A joiner that misses them never sees the finish. An acknowledgement does not tell
    // which message it answers (a late one may be for older positions), so they go to
    // every joiner once and then again every 500 ms, eight times, while the ceremony plays.
    const Msg::Positions positions = numberedPositions();
    sendRound(positions, listCount(), false, true);
    resendFinalPositions(positions, 8, RaceHold(session_.raceRun()));
}

void Dispatcher::sendCancel()
{
    // The contestants as they are now, each remote one with its address: a new play mode
    // or "New Game" empties the roster before the second send. That one goes by a plain
    // timer, not a wait, so that the end of the program does not swallow it; the end is
    // held for it instead.
    const auto listed = std::make_shared<const Contestants>(contestants(listCount()));
    const auto send = [listed, alive = alive_] {
        bool sent = false;
        if (!*alive)
            return sent;   // the network is gone
        for (const std::unique_ptr<Contestant> &contestant : *listed)
            sent = contestant->send(Msg::Cancel{}) || sent;
        return sent;
    };
    if (!send())
        return;   // no joiner
    HoldTermination(600);
    GameClock().after(500, send);
}

void Dispatcher::sendGameDescription()
{
    const Msg::HostText text = settingsGameText();
    for (const std::unique_ptr<Contestant> &contestant : contestants(listCount()))
        contestant->send(text);
}

Task<bool> SendMessengerText(Transport &transport, QString text, QString address)
{
    // Marked with the user's UIN.
    const Msg::MessengerText message{QString::number(Records::Options.UserUin), text, {}};
    const AckWait acknowledged(transport, address);
    transport.sendToPort(message, address, transport.messengerPort());
    const auto arrived = [&acknowledged] { return acknowledged.arrived(); };
    if (co_await WaitUntil(arrived, 10, 100))
        co_return true;
    transport.sendToPort(message, address, 80);
    co_return acknowledged.arrived();
}
