// Play requests, invitations and hosting: the host's answer to a request ("RQ"), the
// joiner's handling of the answer ("RA", "RD") and "Invite Players". "Request To Play"
// opens the request window (RequestWindow.h).
#pragma once

#include "Messages.h"
#include "Waits.h"

#include <QString>

class QListWidget;

// The answers to play requests, and the boxes they open. Boxes that messages open stay
// bounded: each is awaited by the sequence of the message that opened it, so a flood of
// requests or answers must not pile up windows without end.
class Race;

class PlayRequests
{
public:
    // race: a request during a race is refused.
    explicit PlayRequests(const Race &race) : race(race) {}

    // Host, on "RQ". The request is checked, the user asked (the answer is awaited), the
    // requester told.
    Task<> HandlePlayRequest(QString senderAddress, Msg::PlayRequest request);
    // Joiner, on "RA" and "RD" (the reason code, "rx0" to "rx5").
    Task<> HandleAccepted(QString senderAddress);
    void HandleDenied(const QString &reason);

private:
    // The refusal code for a request from uin for character, or empty when it can be served.
    QString refusal(const QString &uin, const QString &character) const;

    const Race &race;
    int openRequestQuestions = 0;
    bool acceptedNoticeOpen = false;
    bool deniedNoticeOpen = false;
};

// "Invite Players": each buddy checked in the list and on line gets the invitation.
Task<> InvitePlayers(QListWidget *buddies);

// Texts of the boxes.
QString PlayRequestQuestion(const QString &name, const QString &uin);
extern const char *const AcceptedNotice;
extern const char *const DeniedNotice;
