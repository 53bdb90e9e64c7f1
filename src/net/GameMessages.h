// The game messages between a race host and its joiners: the dispatcher of every
// received message with the rules of who may send what, the host's messages and its
// group sends. The messages themselves and their texts are Messages.h; the state of the
// network game is the session's (GameSession.h) and the contestants' records (RaceModel.h).
#pragma once

#include "Contestants.h"
#include "Messages.h"
#include "RaceModel.h"
#include "RaceRun.h"
#include "Waits.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>

class GameSession;
class PlaySettings;
class Roster;
class Transport;

// What a message of kind T does once its sender may send it, called with the sender's
// address and the message. The race, the games and the main window install theirs when
// the main window is made (InstallMessageHandlers); until then, and once they are
// cleared, only acknowledgements are taken.
using MessageHandler = std::function<void(const QString &address, const Message &message)>;

// The dispatcher of this copy's received messages and the sender of its host's messages,
// over the session, the roster and the play settings it is handed. main owns it and
// hands it to the race and the windows.
class Dispatcher
{
public:
    Dispatcher(GameSession &session, Roster &roster, PlaySettings &settings, Transport &transport);
    ~Dispatcher();
    Dispatcher(const Dispatcher &) = delete;
    Dispatcher &operator=(const Dispatcher &) = delete;

    Transport &transport() const { return transport_; }

    // Called for every datagram that passed the transport's size limit and repeat filter.
    // It parses the datagram once (a malformed one or an unknown code goes no further),
    // notes acknowledgements, drops what the sender may not send (below), acts on the
    // roster ("RS"), the readiness reports ("RR") and the messenger's invitation ("GP"),
    // and hands every other kind to the handler installed for it.
    void dispatch(const QString &senderAddress, const QString &text);

    void setHandler(std::size_t kind, MessageHandler handler);
    template <typename T, typename Handler>
    void setHandler(Handler handler)
    {
        setHandler(MessageIndex<T>, [handler = std::move(handler)](const QString &address, const Message &message) {
            handler(address, std::get<T>(message));
        });
    }
    void clearHandlers();

    // True when the positions ("RP") are neither the fields of the last "RS" or "RP" taken
    // nor an older set than the last taken (by their number, one more with each set the
    // host sends; positions without a number are judged by the first rule alone); they are
    // then the last taken.
    bool takeNewPositions(const Msg::Positions &positions);
    // A new race: the host may have been started again and count from 1.
    void forgetPositionsNumber();

    // Who is obeyed. A joiner takes the host's messages ("RS", "SR", "RP", "RC", "RZ",
    // "RT") only from the address whose "RA" accepted it; a host takes reports ("RR",
    // "RB", "RK") only from the addresses of its roster. "RQ", "GP" and "AK" are open to
    // everybody.
    bool fromOwnHost(const QString &address) const;
    bool fromRoster(const QString &address) const;

    // Picking a play mode (or "New Game") ends the network game: the host's address, the
    // request's address, the roster filter, the joined flag, the question shown last and
    // the transport's repeat filter are forgotten, so that joining again starts afresh.
    void forgetNetworkGame();

    // The contestants of the roster's first slotLimit slots, as the host reaches them.
    Contestants contestants(int slotLimit) const;

    // The host's messages.
    Msg::Roster rosterMessage() const;        // "RS": the roster's six slots
    QString rosterPayload() const;            // its fields as they travel
    Msg::HostText acceptGameText() const;     // "RT" right after "RA": game type and difficulty phrases
    Msg::HostText settingsGameText() const;   // "RT" on a settings change: the host, game type, difficulty
    QString invitationText() const;           // the message text of "ME" for "Invite Players"

    // Sends "AK" to address (nothing when it is empty).
    void acknowledge(const QString &address);

    // The host's group sends to every remote contestant: the roster ("RS", three rounds),
    // the start signal ("SR", three rounds), every contestant's progress ("RP", two
    // rounds; at the finish one send and eight resends to everybody while the ceremony
    // plays, since every scoreboard is made from them) and the cancel ("RC" to the
    // joiners listed when it is called, twice, 500 ms apart, also when the program ends
    // meanwhile).
    Task<> sendRoster();
    Task<> sendStartRace();
    Task<> sendPositions();
    void sendFinalPositions();
    void sendCancel();
    // The host's settings ("RT") to every remote contestant; the main window calls it
    // when the game type or difficulty changes while no race runs.
    void sendGameDescription();

private:
    int listCount() const;
    Msg::Positions numberedPositions();
    void sendRound(const Message &message, int slotLimit, bool unackedOnly, bool awaitAcknowledgement);
    Task<> sendInRounds(Message message, int rounds, int slotLimit);
    void resendFinalPositions(const Msg::Positions &positions, int left, const RaceHold &race);
    void markSender(const QString &senderAddress, const std::function<void(int slot)> &change);
    void replaceRoster(const Msg::Roster &roster);
    bool mayDispatch(const QString &senderAddress, const Message &message) const;
    QString gameTypePhrase() const;
    QString difficultyPhrase() const;

    GameSession &session_;
    Roster &roster_;
    PlaySettings &settings_;
    Transport &transport_;
    // One handler per kind of message (empty: none installed).
    std::array<MessageHandler, std::variant_size_v<Message>> handlers_;
    // Shared with the clock's pending resends, which may outlive the dispatcher.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Sends the "ME" text to the messenger at address; waits about a second for "AK", else
// sends it to port 80 as well. True when an "AK" arrived.
Task<bool> SendMessengerText(Transport &transport, QString text, QString address);
