// The game messages between a race host and its joiners: the dispatcher of every
// received message with the rules of who may send what, the host's messages and its
// group sends. The messages themselves and their texts are Messages.h; the state of the
// network game is the session's (RaceModel.h).
#pragma once

#include "Messages.h"
#include "RaceModel.h"
#include "Waits.h"

#include <QString>

#include <functional>

// Called for every datagram that passed the transport's size limit and repeat filter.
// It parses the datagram once (a malformed one or an unknown code goes no further),
// notes acknowledgements, drops what the sender may not send (below), acts on the
// roster ("RS"), the readiness reports ("RR") and the messenger's invitation ("GP"),
// and hands every other kind to the handler installed for it.
void DispatchMessage(const QString &senderAddress, const QString &text);

// What a message of kind T does once its sender may send it, called with the sender's
// address and the message. The race, the games and the main window install theirs when
// the main window is made (InstallMessageHandlers); until then, and once they are
// cleared, only acknowledgements are taken.
using MessageHandler = std::function<void(const QString &address, const Message &message)>;
void SetMessageHandler(std::size_t kind, MessageHandler handler);
template <typename T, typename Handler>
void SetMessageHandler(Handler handler)
{
    SetMessageHandler(MessageIndex<T>, [handler = std::move(handler)](const QString &address, const Message &message) {
        handler(address, std::get<T>(message));
    });
}
void ClearMessageHandlers();

// True when the positions ("RP") are neither the fields of the last "RS" or "RP" taken
// nor an older set than the last taken (by their number, one more with each set the host
// sends; positions without a number are judged by the first rule alone); they are then
// the last taken.
bool TakeNewPositions(const Msg::Positions &positions);
// A new race: the host may have been started again and count from 1.
void ForgetPositionsNumber();

// Who is obeyed. A joiner takes the host's messages ("RS", "SR", "RP", "RC", "RZ", "RT")
// only from the address whose "RA" accepted it; a host takes reports ("RR", "RB", "RK")
// only from the addresses of its roster. "RQ", "GP" and "AK" are open to everybody.
bool FromOwnHost(const QString &address);
bool FromRoster(const QString &address);

// Picking a play mode (or "New Game") ends the network game: the host's address, the
// request's address, the roster filter, the joined flag, the question shown last and the
// transport's repeat filter are forgotten, so that joining again starts afresh.
void ForgetNetworkGame();

// The host's messages.
Msg::Roster RosterMessage();        // "RS": the roster's six slots
QString RosterPayload();            // its fields as they travel
Msg::HostText AcceptGameText();     // "RT" right after "RA": game type and difficulty phrases
Msg::HostText SettingsGameText();   // "RT" on a settings change: the host, game type, difficulty
QString InvitationText();           // the message text of "ME" for "Invite Players"

// Sends "AK" to address (nothing when it is empty).
void Acknowledge(const QString &address);

// Sends the "ME" text to the messenger at address; waits about a second for "AK", else
// sends it to port 80 as well. True when an "AK" arrived.
Task<bool> SendMessengerText(QString text, QString address);

// The host's group sends to every remote contestant: the roster
// ("RS", three rounds), the start signal ("SR", three rounds), every contestant's
// progress ("RP", two rounds; at the finish one send and eight resends to everybody
// while the ceremony plays, since every scoreboard is made from them) and the cancel
// ("RC" to the joiners listed when it is called, twice, 500 ms apart, also when the
// program ends meanwhile).
Task<> SendRoster();
Task<> SendStartRace();
Task<> SendPositions();
void SendFinalPositions();
void SendCancel();
// The host's settings ("RT") to every remote contestant; the main window calls it when
// the game type or difficulty changes while no race runs.
void SendGameDescription();
