#include "MessageHandlers.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "MessageCodes.h"
#include "PlayRequests.h"
#include "QuestionRound.h"
#include "RaceMessages.h"
#include "Utilities.h"

namespace {

// The host's text as lines of plain text: no markup is read, nothing is loaded.
void showHostText(const QString &, const QString &, const QString &payload)
{
    QString fields = payload;
    emit GameSession::current().hostTextReceived(GameSession::current().raceRunning() ? QString() : NextField(fields));
}

} // namespace

void InstallMessageHandlers()
{
    InstallRaceMessageHandlers();
    InstallQuestionHandlers();
    SetMessageHandler(MessageCode::HostText, showHostText);
    SetMessageHandler(MessageCode::PlayRequest, [](const QString &senderAddress, const QString &senderName, const QString &payload) {
        if (!GameSession::current().raceRunning())
            Launch(HandlePlayRequest(senderAddress, senderName, payload));
    });
    SetMessageHandler(MessageCode::Accepted, [](const QString &senderAddress, const QString &, const QString &) {
        Launch(HandleAccepted(senderAddress));
    });
    SetMessageHandler(MessageCode::Denied, [](const QString &, const QString &, const QString &payload) {
        if (!GameSession::current().raceRunning())
            HandleDenied(payload);
    });
}
