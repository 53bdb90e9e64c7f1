// The network window: owns the game's datagram sockets (created hidden at start-up).
// Created once at start-up, hidden until its feature shows it.
#pragma once

#include <QString>
#include <QWidget>

class TInternetForm : public QWidget
{
    Q_OBJECT
public:
    explicit TInternetForm(QWidget *parent = nullptr);
    ~TInternetForm() override;
};

// The window created at start-up (nullptr before and after).
extern TInternetForm *InternetForm;

// Sends the game description ("RT") to every remote contestant. Called by the main
// window whenever the game type or difficulty changes while no race runs; the message
// itself belongs to the network play and is not sent yet.
void SendGameDescription();

// Sends code + this player's speech name + payload as one game message to the game port
// of address. An empty address sends nothing; the payload already starts with "&&" when
// it has fields. Until network play exists nothing leaves this computer.
void SendGameMessage(const QString &code, const QString &address, const QString &payload);

// Set by every "AK" game message that arrives; a sender that waits for an acknowledgement
// clears it first and polls it between its Delay steps.
extern bool AckFlag;

// The race's messages to remote contestants: the roster ("RS"), the start signal ("SR"),
// every contestant's progress ("RP") and the host's cancel ("RC"). Until network play
// exists they send nothing: every contestant runs on this computer.
void SendRoster();
void SendStartRace();
void SendPositions();
void SendCancel();
