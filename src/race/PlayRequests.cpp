#include "PlayRequests.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "InviteList.h"
#include "Phrases.h"
#include "PlaySettings.h"
#include "Race.h"
#include "records.h"
#include "Roster.h"
#include "Utilities.h"

#include <QFile>
#include <QScopeGuard>
#include <QScopedValueRollback>

namespace {
// As many questions open as the roster has places.
constexpr int MaxOpenRequestQuestions = MaxContestants - 1;
} // namespace

const char *const AcceptedNotice = "We were accepted for the game.\r\rClick \"OK\" button when ready for the Game.";
const char *const DeniedNotice = "Our Play Request was Denied.\rReason:";

QString PlayRequests::refusal(const QString &uin, const QString &character) const
{
    if (settings.playMode() != HostGame)
        return QStringLiteral("rx3");
    // A race counts from "Start Game" on: one accepted during the presentation or the
    // countdown would get the roster but never the start.
    if (session_.raceRunning() || session_.joinedRace() || race.inProgress())
        return QStringLiteral("rx4");
    if (roster.count() >= MaxContestants)
        return QStringLiteral("rx1");
    if (roster.hasCharacter(character))
        return QStringLiteral("rx2");
    if (roster.hasUin(uin))
        return QStringLiteral("rx5");
    return QString();
}

QString PlayRequestQuestion(const QString &name, const QString &uin)
{
    return QStringLiteral("We Received a Play Request from:\r") + name + QStringLiteral("  UIN:") + uin
           + QStringLiteral("\r\rAccept?");
}

Task<> PlayRequests::HandlePlayRequest(QString senderAddress, Msg::PlayRequest request)
{
    const QString name = ShownName(request.sender);
    const QString &uin = request.uin;
    const QString &character = request.characterFile;
    auto refuse = [&](const QString &reason) { dispatcher.transport().send(senderAddress, Msg::Denied{reason, {}}); };
    QString refused = refusal(uin, character);
    if (!refused.isEmpty()) {
        refuse(refused);
        co_return;
    }
    if (openRequestQuestions >= MaxOpenRequestQuestions)
        co_return;   // as many questions open as the roster has places: the requester may ask again
    dialogs.beep(BeepKind::Default);
    bool accepted = false;
    {
        // Counted up and down, not restored: the boxes may be answered in any order.
        ++openRequestQuestions;
        const auto closed = qScopeGuard([this] { --openRequestQuestions; });
        accepted = co_await AnswerOf(dialogs, PlayRequestQuestion(name, uin));
    }
    if (!accepted) {
        refuse(QStringLiteral("rx0"));
        co_return;
    }
    // While the question was open other requests, a race start or a change of play mode
    // may have come: the request is checked again before the roster takes it.
    refused = refusal(uin, character);
    if (!refused.isEmpty()) {
        refuse(refused);
        co_return;
    }
    const std::optional<int> slot = roster.add(name, uin, character);
    if (!slot) {
        TellRosterFull(dialogs);
        refuse(QStringLiteral("rx1"));
        co_return;
    }
    roster.setAddress(*slot, senderAddress);
    dispatcher.transport().send(senderAddress, Msg::Accepted{});
    co_await Wait(200);
    dispatcher.transport().send(senderAddress, dispatcher.acceptGameText());
    co_await dispatcher.sendRoster();
}

bool PlayRequests::RequestToPlay(const QString &host, const QString &characterFile)
{
    const QString address = ResolvePlayerAddress(host);
    if (address.isEmpty())
        return false;
    session_.setRequestedHostAddress(address);
    dispatcher.transport().send(address, Msg::PlayRequest{QString::number(Records::Options.UserUin), characterFile, {}});
    return true;
}

Task<> PlayRequests::HandleAccepted(QString senderAddress)
{
    session_.setHostAddress(senderAddress);
    if (session_.raceRunning() || acceptedNoticeOpen)
        co_return;
    dialogs.beep(BeepKind::Default);
    emit joinAccepted();
    {
        const QScopedValueRollback<bool> open(acceptedNoticeOpen, true);
        co_await Acknowledged(dialogs, BoxKind::Information, QString::fromLatin1(AcceptedNotice));
    }
    dispatcher.transport().send(session_.hostAddress(), Msg::Ready{});
    co_await Wait(500);
    dispatcher.transport().send(session_.hostAddress(), Msg::Ready{});
}

void PlayRequests::HandleHostText(const QString &text)
{
    emit hostTextReceived(session_.raceRunning() ? QString() : text);
}

void PlayRequests::HandleDenied(const QString &reasonCode)
{
    if (deniedNoticeOpen)
        return;
    dialogs.beep(BeepKind::Stop);
    const QString reason = LookupPhrase(reasonCode);
    deniedNoticeOpen = true;
    dialogs.show(BoxKind::Information, QString::fromLatin1(DeniedNotice) + reason, [this] { deniedNoticeOpen = false; });
}

// Each checked buddy on line gets the ping, the invitation and the messenger text.
Task<> PlayRequests::InvitePlayers()
{
    if (settings.gameType() == NoGameType) {
        dialogs.beep(BeepKind::Error);
        dialogs.show(BoxKind::Error, QStringLiteral("Please select a Game Type First"));
        co_return;
    }
    QFile list;
    if (!OpenDataFile(ProgramFolder() + GameFile::OnlineList, QStringLiteral("R"), list,
                      Records::OnlineBuddyRecord::Size))
        co_return;
    const QList<QByteArray> records = Records::ReadAllRecords(list, Records::OnlineBuddyRecord::Size);
    list.close();
    emit invitationsSending(true);
    dialogs.beep(BeepKind::Default);
    const QString ownUin = QString::number(Records::Options.UserUin);
    for (const QByteArray &raw : records) {
        const Records::OnlineBuddyRecord buddy = Records::OnlineBuddyRecord::decode(raw);
        // Checked when the sends reach it: a buddy unchecked meanwhile is left out.
        if (buddy.Address.isEmpty() || !invites_.checked(buddy.Uin))
            continue;
        SendInvitePing(dispatcher.transport(), buddy.Address, Msg::Invitation{ownUin, std::nullopt, {}});
        co_await Wait(50);
        dispatcher.transport().send(buddy.Address, Msg::Invitation{ownUin, Records::Options.UserName, {}});
        co_await SendMessengerText(dispatcher.transport(), dispatcher.invitationText(), buddy.Address);
    }
    emit invitationsSending(false);
}
