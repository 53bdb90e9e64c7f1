// The game messages as typed values: parse() reads a received datagram into one struct
// per code, serialize() writes one back as the exact text that travels.
// A datagram is the two-letter code, the sender's speech name, then "&&"-separated fields
// (docs/protocol.md). Every struct keeps the sender's speech name; a send puts this
// player's own there (GameTransport.h).
//
// Parsing keeps the dispatcher's long-standing tolerance of odd datagrams:
// - with no "&&" at all, the text after the code is the name and also the one field (a
//   missing field reads as the last one again, where fields are read one after another);
// - values are cut and clamped as the receiver always took them, so that a handler never
//   sees more than the game keeps.
#pragma once

#include "MessageCodes.h"
#include "RaceModel.h"

#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <variant>

// A progress value from "RP" is cut to 0..MaxTakenProgress: no real one passes about 106
// (91 plus a random step of 15), and a huge one must not overflow the character moves.
constexpr qint32 MaxTakenProgress = 200;

namespace Msg {

// joiner -> host: may I race? Only a UIN of 1 to 15 digits and a character file name
// (not blank, no control character; a path is cut to its last part) make a request.
struct PlayRequest {
    QString uin;
    QString characterFile;
    QString sender;
};
// host -> joiner: the request is accepted.
struct Accepted {
    QString sender;
};
// host -> joiner: refused; reason is "rx0" to "rx5" (cut to three characters).
struct Denied {
    QString reason;
    QString sender;
};
// joiner -> host: the user confirmed the acceptance.
struct Ready {
    QString sender;
};
// host -> joiners: the game's description, shown as plain text.
struct HostText {
    QString text;
    QString sender;
};
// host -> joiners: the six slots; an empty slot travels as three blanks. Only a datagram
// of exactly eighteen fields is a roster. UINs are cut to 15 characters, names and
// character files to 35, and a character is a file name (a path is cut to its last part).
struct Roster {
    struct Slot {
        QString uin, playerName, characterFile;
    };
    std::array<Slot, MaxContestants> contestants;
    QString sender;
};
// host -> joiners: the race starts.
struct StartRace {
    QString sender;
};
// host -> joiners: every slot's progress, cut to 0..MaxTakenProgress (a field that is
// not a whole number is 0; with fewer than six fields the last one counts for the rest),
// then the set's number. A number that is there but not a number reads as 0, which is
// never newer than a set taken.
struct Positions {
    std::array<qint32, MaxContestants> progress{};
    std::optional<int> number;
    QString sender;
};
// host -> joiner: a puzzle. kind is a QuestionKind code; the number is the question's
// place in the race's list (none when it is not 1 to 9 digits).
struct Question {
    QString kind, answer, text;
    std::optional<int> number;
    QString sender;
};
// joiner -> host: a right answer ("RB") or a skip ("RK") on the question numbered
// `number` (none: a peer that sends no number). A third field that is not a number as
// the game writes it reads as NoQuestion, which answers no question.
constexpr int NoQuestion = -1;
struct Report {
    QString uin, answer;
    std::optional<int> number;
    QString sender;
};
struct RightAnswer : Report {};
struct Skipped : Report {};
// host -> joiners: the game is cancelled.
struct Cancel {
    QString sender;
};
// anyone: a message arrived.
struct Acknowledge {
    QString sender;
};
// host -> buddy: an invitation's ping; the one to the messenger carries no name. The UIN
// is cut to 15 characters and the name to 40.
struct Invitation {
    QString uin;
    std::optional<QString> name;
    QString sender;
};
// a text for a messenger to show, marked with the sender's UIN; a game copy ignores it.
struct MessengerText {
    QString uin, text;
    QString sender;
};

} // namespace Msg

using Message = std::variant<Msg::PlayRequest, Msg::Accepted, Msg::Denied, Msg::Ready, Msg::HostText,
                             Msg::Roster, Msg::StartRace, Msg::Positions, Msg::Question, Msg::RightAnswer,
                             Msg::Skipped, Msg::Cancel, Msg::Acknowledge, Msg::Invitation, Msg::MessengerText>;

namespace Msg {
// The message of a received datagram; nullopt for a datagram shorter than two
// characters, an unknown code, or one the game drops as malformed (a request without a
// UIN and a character, a roster without its eighteen fields, a messenger text out of
// its frame).
std::optional<Message> parse(const QString &text);
// The datagram's text: code, sender's name, then each field after "&&".
QString serialize(const Message &message);
// The same without the code and the name: the fields as they travel (empty, or starting
// with "&&"). Two messages with the same fields carry the same payload.
QString payloadOf(const Message &message);
} // namespace Msg

// The place of T in Message, e.g. for a table of one entry per kind.
template <typename T, typename Variant = Message>
struct MessageIndexOf;
template <typename T, typename... Kinds>
struct MessageIndexOf<T, std::variant<Kinds...>> {
    static constexpr std::size_t value = [] {
        std::size_t index = 0;
        (void)((std::is_same_v<T, Kinds> ? true : (++index, false)) || ...);
        return index;
    }();
};
template <typename T>
constexpr std::size_t MessageIndex = MessageIndexOf<T>::value;
