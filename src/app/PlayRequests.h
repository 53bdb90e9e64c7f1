// Play requests, invitations and hosting: the host's answer to a request ("RQ"), the
// joiner's handling of the answer ("RA", "RD"), "Request To Play" and "Invite Players".
#pragma once

#include "Waits.h"

#include <QString>

// The refusal code for a request from uin for character, or empty when it can be served.
QString PlayRequestRefusal(const QString &uin, const QString &character);
// Host, on "RQ" (payload: UIN && character file).
// The request is checked, the user asked (the answer is awaited), the requester told.
Task<> HandlePlayRequest(QString senderAddress, QString senderName, QString payload);
// Joiner, on "RA" and "RD" (payload: the reason code).
Task<> HandleAccepted(QString senderAddress);
void HandleDenied(QString payload);

// The main window's "Request To Play" and "Invite Players".
void RequestPlayBtnClick();
void InviteBtnClick();

// Texts of the boxes.
QString PlayRequestQuestion(const QString &name, const QString &uin);
extern const char *const AcceptedNotice;
extern const char *const DeniedNotice;
