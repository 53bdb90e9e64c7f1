// Play requests, invitations and hosting: the host's answer to a request ("RQ"), the
// joiner's handling of the answer ("RA", "RD") and "Invite Players". They read no widget:
// the boxes go through the Dialogs, the buddies to invite come from the InviteList model
// that the main window's "Online Buddys" list shows, and "Request To Play" (the request
// window) calls RequestToPlay.
#pragma once

#include "Messages.h"
#include "Waits.h"

#include <QObject>
#include <QString>

class Dialogs;
class Dispatcher;
class GameSession;
class InviteList;
class PlaySettings;
class Race;
class Roster;

// The answers to play requests, the boxes they open, the host's text and the invitations;
// the main window follows them through the signals. Boxes that messages open stay
// bounded: each is awaited by the sequence of the message that opened it, so a flood of
// requests or answers must not pile up windows without end.
class PlayRequests : public QObject
{
    Q_OBJECT
public:
    // race: a request during a race is refused; session: the network game's state (the
    // race running or joined, the host's address); settings: a request is served only
    // while hosting, invitations only with a game type; roster: who takes part; dialogs:
    // the questions and notices; invites: the buddies checked for "Invite Players";
    // dispatcher: the answers, the roster and the invitations go out through it.
    PlayRequests(const Race &race, GameSession &session, const PlaySettings &settings, Roster &roster,
                 Dialogs &dialogs, InviteList &invites, Dispatcher &dispatcher)
        : race(race), session_(session), settings(settings), roster(roster), dialogs(dialogs), invites_(invites),
          dispatcher(dispatcher)
    {
    }

    // The buddies "Invite Players" invites, as the main window's list shows them.
    InviteList &invites() const { return invites_; }
    // The network game's state it keeps (the host, the request's address, the inviter).
    GameSession &session() const { return session_; }

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

    // "Invite Players": each buddy checked in the invite list and on line gets the invitation.
    Task<> InvitePlayers();

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
    GameSession &session_;
    const PlaySettings &settings;
    Roster &roster;
    Dialogs &dialogs;
    InviteList &invites_;
    Dispatcher &dispatcher;
    int openRequestQuestions = 0;
    bool acceptedNoticeOpen = false;
    bool deniedNoticeOpen = false;
};

// Texts of the boxes.
QString PlayRequestQuestion(const QString &name, const QString &uin);
extern const char *const AcceptedNotice;
extern const char *const DeniedNotice;
