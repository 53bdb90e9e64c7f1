#include "MessageHandlers.h"

#include "GameMessages.h"
#include "GameSession.h"
#include "PlayRequests.h"
#include "QuestionRound.h"
#include "RaceMessages.h"

void InstallMessageHandlers()
{
    InstallRaceMessageHandlers();
    InstallQuestionHandlers();
    // The host's text as lines of plain text: no markup is read, nothing is loaded.
    SetMessageHandler<Msg::HostText>([](const QString &, const Msg::HostText &message) {
        emit GameSession::current().hostTextReceived(GameSession::current().raceRunning() ? QString() : message.text);
    });
    SetMessageHandler<Msg::PlayRequest>([](const QString &senderAddress, const Msg::PlayRequest &request) {
        if (!GameSession::current().raceRunning())
            Launch(HandlePlayRequest(senderAddress, request));
    });
    SetMessageHandler<Msg::Accepted>([](const QString &senderAddress, const Msg::Accepted &) {
        Launch(HandleAccepted(senderAddress));
    });
    SetMessageHandler<Msg::Denied>([](const QString &, const Msg::Denied &denied) {
        if (!GameSession::current().raceRunning())
            HandleDenied(denied.reason);
    });
}
