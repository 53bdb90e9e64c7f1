// Play requests, invitations and hosting: the host's answer to a request ("RQ"), the
// joiner's handling of the answer ("RA", "RD"), "Request To Play" and "Invite Players".
#pragma once

#include <QString>

// The refusal code for a request from uin for character, or empty when it can be served.
QString PlayRequestRefusal(const QString &uin, const QString &character);
// Host, on "RQ" (payload: UIN && character file).
void HandlePlayRequest(const QString &senderAddress, const QString &senderName, const QString &payload);
// Joiner, on "RA" and "RD" (payload: the reason code).
void HandleAccepted(const QString &senderAddress);
void HandleDenied(QString payload);

// The main window's "Request To Play" and "Invite Players".
void ReqPlayBtnClick();
void InviteBtnClick();

// Texts of the boxes.
QString PlayRequestQuestion(const QString &name, const QString &uin);
extern const char *const AcceptedNotice;
extern const char *const DeniedNotice;
