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
    race.dispatcher().setHandler<Msg::HostText>([&race, &requests](const QString &, const Msg::HostText &message) {
        requests.HandleHostText(message.text);
    });
    race.dispatcher().setHandler<Msg::PlayRequest>([&race, &requests](const QString &senderAddress, const Msg::PlayRequest &request) {
        if (!race.session().raceRunning())
            Launch(requests.HandlePlayRequest(senderAddress, request));
    });
    race.dispatcher().setHandler<Msg::Accepted>([&race, &requests](const QString &senderAddress, const Msg::Accepted &) {
        Launch(requests.HandleAccepted(senderAddress));
    });
    race.dispatcher().setHandler<Msg::Denied>([&race, &requests](const QString &, const Msg::Denied &denied) {
        if (!race.session().raceRunning())
            requests.HandleDenied(denied.reason);
    });
}

std::function<void(std::function<void()>)> ParametersMissingNotice(Race &race)
{
    return [&race](std::function<void()> endProgram) {
        if (race.inProgress())
            race.cancel();
        race.dialogs().beep(BeepKind::Error);
        race.dialogs().show(BoxKind::Error, QStringLiteral("Hollyfrost is missing file HFparms.cfg\rand cannot continue."),
                           std::move(endProgram));
    };
}
