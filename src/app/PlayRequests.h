// Play requests, invitations and hosting: the host's answer to a request ("RQ"), the
// joiner's handling of the answer ("RA", "RD"), "Request To Play" and "Invite Players".
#pragma once

#include "Messages.h"
#include "Waits.h"

#include <QString>

// The refusal code for a request from uin for character, or empty when it can be served.
QString PlayRequestRefusal(const QString &uin, const QString &character);
// Host, on "RQ". The request is checked, the user asked (the answer is awaited), the
// requester told.
Task<> HandlePlayRequest(QString senderAddress, Msg::PlayRequest request);
// Joiner, on "RA" and "RD" (the reason code, "rx0" to "rx5").
Task<> HandleAccepted(QString senderAddress);
void HandleDenied(const QString &reason);

// The main window's "Request To Play" and "Invite Players".
void RequestPlayBtnClick();
void InviteBtnClick();

// Texts of the boxes.
QString PlayRequestQuestion(const QString &name, const QString &uin);
extern const char *const AcceptedNotice;
extern const char *const DeniedNotice;
