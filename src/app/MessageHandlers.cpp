#include "MessageHandlers.h"

#include "GameMessages.h"
#include "Dialogs.h"
#include "GameSession.h"
#include "PlayRequests.h"
#include "Race.h"

void InstallMessageHandlers(Race &race, PlayRequests &requests)
{
    race.installMessageHandlers();
    // The host's text as lines of plain text: no markup is read, nothing is loaded.
    SetMessageHandler<Msg::HostText>([&requests](const QString &, const Msg::HostText &message) {
        requests.HandleHostText(message.text);
    });
    SetMessageHandler<Msg::PlayRequest>([&requests](const QString &senderAddress, const Msg::PlayRequest &request) {
        if (!GameSession::current().raceRunning())
            Launch(requests.HandlePlayRequest(senderAddress, request));
    });
    SetMessageHandler<Msg::Accepted>([&requests](const QString &senderAddress, const Msg::Accepted &) {
        Launch(requests.HandleAccepted(senderAddress));
    });
    SetMessageHandler<Msg::Denied>([&requests](const QString &, const Msg::Denied &denied) {
        if (!GameSession::current().raceRunning())
            requests.HandleDenied(denied.reason);
    });
}

std::function<void(std::function<void()>)> ParametersMissingNotice(Race &race)
{
    return [&race](std::function<void()> endProgram) {
        if (race.inProgress())
            race.cancel();
        GameDialogs().beep(BeepKind::Error);
        GameDialogs().show(BoxKind::Error, QStringLiteral("Hollyfrost is missing file HFparms.cfg\rand cannot continue."),
                           std::move(endProgram));
    };
}
