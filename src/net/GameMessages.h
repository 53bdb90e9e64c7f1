// The game messages between a race host and its joiners: the dispatcher of every
// received message, the texts the host and joiners build, and the handler state.
// A message is a two-letter code, the sender's speech name, then "&&"-separated fields.
#pragma once

#include <QString>

// Called for every datagram that passed the transport's size limit and repeat filter.
void DispatchMessage(const QString &senderAddress, const QString &text);

// Handler state (whole run).
extern QString LastRosterPayload;   // payload of the last "RS" or "RP" acted on
extern QString LastScorePayload;    // sender address + payload of the last "RB" or "RK"
extern QString HostAddress;         // at most 15 characters: the host that accepted us
constexpr int HostAddressCapacity = 15;

// Message payloads (each field preceded by "&&").
QString RosterPayload();      // "RS": eighteen fields, three per slot; writes the slots back
QString PositionsPayload();   // "RP": six progress values
QString AcceptGameText();     // "RT" right after "RA": game type and difficulty phrases
QString SettingsGameText();   // "RT" on a settings change: the host, game type, difficulty
QString InvitationText();     // the message text of "ME" for "Invite Players"
// The "ME" payload around a message text, with the user's UIN as the sender mark.
QString MessengerTextPayload(const QString &text);

// Sends "AK" to address (nothing when it is empty).
void Acknowledge(const QString &address);
