// Play requests, invitations and hosting: the host's answer to a request ("RQ"), the
// joiner's handling of the answer ("RA", "RD") and "Invite Players". "Request To Play"
// opens the request window (RequestWindow.h).
#pragma once

#include "Messages.h"
#include "Waits.h"

#include <QObject>
#include <QString>

class GameSession;
class QListWidget;
class Race;

// The answers to play requests, the boxes they open, the host's text and the invitations;
// the main window follows them through the signals. Boxes that messages open stay
// bounded: each is awaited by the sequence of the message that opened it, so a flood of
// requests or answers must not pile up windows without end.
class PlayRequests : public QObject
{
    Q_OBJECT
public:
    // race: a request during a race is refused.
    explicit PlayRequests(const Race &race) : race(race) {}
    // The network game's state it keeps (the host, the request's address, the inviter).
    GameSession &session() const;

    // Host, on "RQ". The request is checked, the user asked (the answer is awaited), the
    // requester told.
    Task<> HandlePlayRequest(QString senderAddress, Msg::PlayRequest request);
    // Joiner: asks the host (a typed UIN, looked up, or an address) to take the user with
    // the character ("RQ"); false when no address is found. Only that address's answer
    // is taken afterwards.
    bool RequestToPlay(const QString &host, const QString &characterFile);
    // Joiner, on "RA" and "RD" (the reason code, "rx0" to "rx5").
    Task<> HandleAccepted(QString senderAddress);
    void HandleDenied(const QString &reason);
    // Joiner, on the host's "RT": its text for the main window's box (none during a race).
    void HandleHostText(const QString &text);

    // "Invite Players": each buddy checked in the list and on line gets the invitation.
    Task<> InvitePlayers(QListWidget *buddies);

signals:
    // The host's text to show as plain text; empty clears the box.
    void hostTextReceived(const QString &text);
    // The host took this player into its game: "Request To Play" goes.
    void joinAccepted();
    // The invitations are going out ("Invite Players" is off meanwhile).
    void invitationsSending(bool sending);

private:
    // The refusal code for a request from uin for character, or empty when it can be served.
    QString refusal(const QString &uin, const QString &character) const;

    const Race &race;
    int openRequestQuestions = 0;
    bool acceptedNoticeOpen = false;
    bool deniedNoticeOpen = false;
};

// Texts of the boxes.
QString PlayRequestQuestion(const QString &name, const QString &uin);
extern const char *const AcceptedNotice;
extern const char *const DeniedNotice;
