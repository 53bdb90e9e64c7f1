#include "Messages.h"

#include "DataFiles.h"
#include "GameSession.h"
#include "Utilities.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString Separator = QStringLiteral("&&");
// The frame of a messenger text around the sender's UIN.
const QString MessengerUinMark = QStringLiteral("\r\n$$UIN");
const QString MessengerTextMark = QStringLiteral("\r\n &&\r\n ");

template <class... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <class... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;   // not deduced by every compiler yet

const QString &codeOf(const Msg::PlayRequest &) { return MessageCode::PlayRequest; }
const QString &codeOf(const Msg::Accepted &) { return MessageCode::Accepted; }
const QString &codeOf(const Msg::Denied &) { return MessageCode::Denied; }
const QString &codeOf(const Msg::Ready &) { return MessageCode::Ready; }
const QString &codeOf(const Msg::HostText &) { return MessageCode::HostText; }
const QString &codeOf(const Msg::Roster &) { return MessageCode::Roster; }
const QString &codeOf(const Msg::StartRace &) { return MessageCode::StartRace; }
const QString &codeOf(const Msg::Positions &) { return MessageCode::Positions; }
const QString &codeOf(const Msg::Question &) { return MessageCode::Question; }
const QString &codeOf(const Msg::RightAnswer &) { return MessageCode::RightAnswer; }
const QString &codeOf(const Msg::Skipped &) { return MessageCode::Skipped; }
const QString &codeOf(const Msg::Cancel &) { return MessageCode::Cancel; }
const QString &codeOf(const Msg::Acknowledge &) { return MessageCode::Acknowledge; }
const QString &codeOf(const Msg::Invitation &) { return MessageCode::Invitation; }
const QString &codeOf(const Msg::MessengerText &) { return MessageCode::MessengerText; }

QString field(const QString &value)
{
    return Separator + value;
}

QString numberField(const std::optional<int> &number)
{
    return number ? field(QString::number(*number)) : QString();
}

QString reportPayload(const Msg::Report &report)
{
    return field(report.uin) + field(report.answer) + numberField(report.number);
}

// A request names the requester's UIN (1 to 15 digits) and a character file.
bool wellFormedRequest(const QString &uin, const QString &character)
{
    if (!IsDigits(uin, 15))
        return false;
    for (const QChar c : character)
        if (c < u' ')
            return false;
    return !character.trimmed().isEmpty();
}

std::optional<Message> parsePlayRequest(const QString &payload)
{
    // A missing field is missing (not the field before it again).
    const QStringList fields = payload.split(Separator);
    // A character is a file of the character folder: no path from a peer is followed.
    Msg::PlayRequest request{fields.value(0), NameOfPath(fields.value(1)), {}};
    if (!wellFormedRequest(request.uin, request.characterFile))
        return std::nullopt;
    return request;
}

std::optional<Message> parseRoster(const QString &payload)
{
    // A roster always has its eighteen fields: anything else is malformed. A missing
    // field (overlapping separators) is empty, so that no contestant is made of the
    // fields of another.
    if (payload.count(QLatin1String("&&")) != 3 * MaxContestants - 1)
        return std::nullopt;
    const QStringList fields = payload.split(Separator);
    Msg::Roster roster;
    for (int slot = 0; slot < MaxContestants; ++slot) {
        roster.contestants[slot] = {fields.value(3 * slot).left(ContestantUinCapacity),
                              fields.value(3 * slot + 1).left(ContestantNameCapacity),
                              NameOfPath(fields.value(3 * slot + 2)).left(ContestantFileCapacity)};
    }
    return roster;
}

Msg::Positions parsePositions(const QString &payload)
{
    const QStringList fields = payload.split(Separator);
    Msg::Positions positions;
    for (int slot = 0; slot < MaxContestants; ++slot) {
        bool ok = false;
        const qint32 value = ToInteger(fields[std::min<qsizetype>(slot, fields.size() - 1)], &ok);
        positions.progress[slot] = ok ? std::clamp(value, 0, MaxTakenProgress) : 0;
    }
    if (fields.size() > MaxContestants) {
        bool ok = false;
        const int number = fields[MaxContestants].toInt(&ok);
        positions.number = ok ? number : 0;
    }
    return positions;
}

Msg::Question parseQuestion(const QString &payload)
{
    QString rest = payload;
    Msg::Question question;
    question.kind = NextField(rest);
    question.answer = NextField(rest);
    question.text = NextField(rest);
    const QString number = payload.section(Separator, 3, 3);
    if (IsDigits(number, 9))
        question.number = number.toInt();
    return question;
}

template <typename Kind>
Kind parseReport(const QString &payload)
{
    const QStringList fields = payload.split(Separator);
    Kind report{{fields.value(0), fields.value(1), std::nullopt, {}}};
    if (fields.size() >= 3) {
        bool ok = false;
        const int number = fields[2].toInt(&ok);
        // Counted only when it is the number as the host wrote it.
        report.number = ok && QString::number(number) == fields[2] ? number : Msg::NoQuestion;
    }
    return report;
}

Msg::Invitation parseInvitation(QString payload)
{
    const QString before = payload;
    Msg::Invitation invitation{NextField(payload).left(InviterUinCapacity), std::nullopt, {}};
    // A ping to the messenger port carries the UIN alone: then there is no name.
    if (payload != before)
        invitation.name = NextField(payload).left(InviterNameCapacity);
    return invitation;
}

std::optional<Message> parseMessengerText(const QString &payload)
{
    const qsizetype textAt = payload.indexOf(MessengerTextMark);
    if (!payload.startsWith(MessengerUinMark) || textAt < 0)
        return std::nullopt;
    return Msg::MessengerText{payload.mid(MessengerUinMark.size(), textAt - MessengerUinMark.size()),
                              payload.mid(textAt + MessengerTextMark.size()), {}};
}

std::optional<Message> parsePayload(const QString &code, const QString &payload)
{
    if (code == MessageCode::PlayRequest)
        return parsePlayRequest(payload);
    if (code == MessageCode::Accepted)
        return Msg::Accepted{};
    if (code == MessageCode::Denied) {
        QString rest = payload;
        return Msg::Denied{NextField(rest).left(3), {}};
    }
    if (code == MessageCode::Ready)
        return Msg::Ready{};
    if (code == MessageCode::HostText) {
        QString rest = payload;
        return Msg::HostText{NextField(rest), {}};
    }
    if (code == MessageCode::Roster)
        return parseRoster(payload);
    if (code == MessageCode::StartRace)
        return Msg::StartRace{};
    if (code == MessageCode::Positions)
        return parsePositions(payload);
    if (code == MessageCode::Question)
        return parseQuestion(payload);
    if (code == MessageCode::RightAnswer)
        return parseReport<Msg::RightAnswer>(payload);
    if (code == MessageCode::Skipped)
        return parseReport<Msg::Skipped>(payload);
    if (code == MessageCode::Cancel)
        return Msg::Cancel{};
    if (code == MessageCode::Acknowledge)
        return Msg::Acknowledge{};
    if (code == MessageCode::Invitation)
        return parseInvitation(payload);
    if (code == MessageCode::MessengerText)
        return parseMessengerText(payload);
    return std::nullopt;
}

} // namespace

std::optional<Message> Msg::parse(const QString &text)
{
    if (text.size() < 2)
        return std::nullopt;
    QString payload = text.mid(2);
    const QString sender = NextField(payload);
    std::optional<Message> message = parsePayload(text.left(2), payload);
    if (message)
        std::visit([&sender](auto &kind) { kind.sender = sender; }, *message);
    return message;
}

QString Msg::payloadOf(const Message &message)
{
    return std::visit(
        Overloaded{
            [](const Msg::PlayRequest &m) { return field(m.uin) + field(m.characterFile); },
            [](const Msg::Denied &m) { return field(m.reason); },
            [](const Msg::HostText &m) { return field(m.text); },
            [](const Msg::Roster &m) {
                QString payload;
                for (const Msg::Roster::Slot &slot : m.contestants)
                    payload += field(slot.uin) + field(slot.playerName) + field(slot.characterFile);
                return payload;
            },
            [](const Msg::Positions &m) {
                QString payload;
                for (const qint32 progress : m.progress)
                    payload += field(QString::number(progress));
                return payload + numberField(m.number);
            },
            [](const Msg::Question &m) {
                return field(m.kind) + field(m.answer) + field(m.text) + numberField(m.number);
            },
            [](const Msg::RightAnswer &m) { return reportPayload(m); },
            [](const Msg::Skipped &m) { return reportPayload(m); },
            [](const Msg::Invitation &m) { return field(m.uin) + (m.name ? field(*m.name) : QString()); },
            [](const Msg::MessengerText &m) { return Separator + MessengerUinMark + m.uin + MessengerTextMark + m.text; },
            [](const auto &) { return QString(); },   // no fields
        },
        message);
}

QString Msg::serialize(const Message &message)
{
    return std::visit([](const auto &kind) { return codeOf(kind) + kind.sender; }, message) + payloadOf(message);
}
