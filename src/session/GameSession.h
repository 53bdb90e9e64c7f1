// The game's shared state below the windows: what the player picked to play
// (PlaySettings.h), the roster (Roster.h), the race state (RaceModel.h), and the signals
// the windows follow (a step of the race, the number of the start's countdown, the
// question on show). The windows show it and change it through these objects; the race,
// the games and the network read it here, never from a widget.
#pragma once

#include "CharacterStage.h"
#include "Dialogs.h"
#include "PlaySettings.h"
#include "RaceModel.h"
#include "Roster.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <functional>

constexpr int HostAddressCapacity = 15;
constexpr int InviterUinCapacity = 15;
constexpr int InviterNameCapacity = 40;

// Steps of a race that the windows show.
enum class RaceStep {
    Starting,        // "Start Game" went ahead: the start and invite buttons go
    TrackOpened,     // the race track shows, maximised on the race's screen, without the
                     // last race's scoreboard
    Opened,          // the start gate opened: the window comes to the front, music plays
    RoundsRunning,   // the rounds run: "Cancel Game" shows
    Cancelled,       // the race was cancelled: "Cancel Game" goes, the music stops
    ScoreboardShown, // the finish ceremony shows the scoreboard of the first three
    Over,            // the race is over: "Cancel Game" goes, the window returns to the
                     // top of the screen, the music stops, the race track goes
};

// The number the start's countdown shows; CountdownOver closes it.
constexpr int CountdownOver = -1;

class GameSession : public QObject
{
    Q_OBJECT
public:
    // The one session of the program.
    static GameSession &current();

    // The services the program hands the game (main): the characters and the dialogs.
    // Until they are handed over, and after useStage(nullptr) or useDialogs(nullptr), there
    // are none: nothing
    // shows and every box is closed at once.
    CharacterStage &stage() const { return *stage_; }
    Dialogs &dialogs() const { return *dialogs_; }
    void useStage(CharacterStage *stage) { stage_ = stage ? stage : &noStage_; }
    void useDialogs(Dialogs *dialogs) { dialogs_ = dialogs ? dialogs : &noDialogs_; }

    // The contestants' records and the race's counters; the roster over the records.
    RaceModel &model() { return model_; }
    Roster &roster() { return roster_; }
    // What the player picked to play.
    PlaySettings &playSettings() { return playSettings_; }
    // Names the race's monitor (RaceScreen.h; the main window sets it).
    std::function<QRect()> raceScreenSource;

    // The race under way: its rounds run; this copy races in a host's game.
    bool raceRunning() const { return raceRunning_; }
    bool joinedRace() const { return joinedRace_; }
    void setRaceRunning(bool running);
    void setJoinedRace(bool joined);

    // Every step of a race (its presentation, countdown, rounds, questions, commentary and
    // finish) holds the ticket it started with and goes on after a wait only while
    // raceGoesOn(ticket): a new race or a cancel voids every ticket handed out before.
    quint64 raceTicket() const { return raceTicket_; }
    bool raceGoesOn(quint64 ticket) const;
    void voidRaceTickets() { ++raceTicket_; }

    // The network game: the host that accepted us, where our last play request went (the
    // only address whose answer is taken), and who invited this player (the messenger's
    // "GP" ping). Each is cut to its capacity.
    const QString &hostAddress() const { return hostAddress_; }
    const QString &requestedHostAddress() const { return requestedHostAddress_; }
    const QString &inviterUin() const { return inviterUin_; }
    const QString &inviterName() const { return inviterName_; }
    void setHostAddress(const QString &address);
    void setRequestedHostAddress(const QString &address);
    void setInviterUin(const QString &uin);
    void setInviterName(const QString &name);

    // A window asks that the race be cancelled ("Cancel Game" on the race track); the
    // main window cancels it as its own "Cancel Game" does.
    void requestCancel() { emit cancelRequested(); }
    // The race tells the windows about one of its steps.
    void announce(RaceStep step) { emit raceStep(step); }
    // The race tells the countdown window the number to show (0 to 9), or CountdownOver.
    void announceCountdown(int number) { emit countdown(number); }

signals:
    void raceRunningChanged(bool running);
    void joinedRaceChanged(bool joined);
    void hostAddressChanged(const QString &address);
    void inviterChanged();
    void raceStep(RaceStep step);
    void countdown(int number);
    void cancelRequested();

    // The question on show (QuestionRound.h puts it, checks its answer and reports it).
    // A question to type the answer of: the question window shows it with this caption.
    void questionShown(const QString &caption, const QString &prompt);
    // A memory test: the memory window plays the sequence and takes the player's entries.
    void memoryTestShown(const QString &sequence);
    void answerRejected();   // wrong: the question stays on show
    void answerAccepted();   // right: the question leaves the screen while it is reported
    void questionClosed();   // answered, skipped or withdrawn: its windows close
    // The network game as the main window shows it: the host's text for its box (empty
    // clears the box), the host took us into its game, the invitations going out.
    void hostTextReceived(const QString &text);
    void joinAccepted();
    void invitationsSending(bool sending);

    // A report of a right answer or a skip started or ended (AnswerReportPending,
    // SkipReportPending): the buttons that would send it again are off meanwhile.
    void questionReportChanged();

private:
    NoStage noStage_;
    NoDialogs noDialogs_;
    CharacterStage *stage_ = &noStage_;
    Dialogs *dialogs_ = &noDialogs_;
    RaceModel model_;
    Roster roster_{model_};
    PlaySettings playSettings_;
    bool raceRunning_ = false;
    bool joinedRace_ = false;
    quint64 raceTicket_ = 0;
    QString hostAddress_;
    QString requestedHostAddress_;
    QString inviterUin_;
    QString inviterName_;
};

// The session's play mode and game type.
PlayMode CurrentPlayMode();
GameType CurrentGameType();
// The session's characters and dialogs.
CharacterStage &GameStage();
Dialogs &GameDialogs();
// The session's model and its roster.
RaceModel &Model();
Roster &GameRoster();
