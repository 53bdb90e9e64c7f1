// The main window: play mode, game type and difficulty, the contestant roster, the list
// of online buddies and the buttons that start, cancel and leave a game. It owns the
// windows it opens (the request window and the help window) and the race's music.
#pragma once

#include "GameSession.h"
#include "RaceModel.h"
#include "Race.h"
#include "OnlineBuddies.h"
#include "RaceMusic.h"
#include "RosterList.h"
#include "Waits.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class HelpWindow;
class PlayControls;
class PlayRequests;
class QLabel;
class QListView;
class QPushButton;
class QTextEdit;
class QTimer;

class SkinFrame;
class RadioGroup;
class RequestWindow;

constexpr int MainClientWidth = 442;
constexpr int MainClientHeight = 373;
constexpr int ContestantsTabWidth = 30;
constexpr int BuddyListTabWidth = 80;

// Play modes (PlaySettings.h) are the item indexes of PlayModeGroup.

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    // race: the race the buttons start and cancel; picker: where "Add Characters to Race"
    // and the request window's "Browse" get a character file.
    explicit MainWindow(Race &race, PlayRequests &requests, CharacterFilePicker picker = CharacterFilePicker(),
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // Checks the command line (arguments[1] is the contact's UIN) and sets the window up.
    // Without an argument it shows the refusal, asks the application to end and returns
    // false; the caller then does not show the window.
    bool Start(const QStringList &arguments);
    // Reads the messenger's files (options, then buddies); the play modes wait for the
    // options.
    void WhenShown();
    // The options are read (or left at their defaults): the play modes open, network play
    // only for a player with a name and a UIN.
    void optionsLoaded();
    // Shows the controls of the play mode (PlayControls), "Cancel Game" hidden.
    void UpdatePlayControls();
    void RestoreAndRaise();

    void NewRaceBtnClick();
    void ExitBtnClick();
    void HelpBtnClick();
    void RequestPlayBtnClick();
    void InviteBtnClick();
    void InfoBoxDblClick();
    void BuddiesLabelClick();
    // The game type and difficulty picked, described in the info box.
    void describeGameType(int gameType, int difficulty);
    // The buttons, the place of the window and the music follow the race's steps.
    void showRaceStep(RaceStep step);
    void showHostText(const QString &text);

    // Controls, in the order they lie on the window (the skin first, underneath).
    SkinFrame *Skin = nullptr;
    RadioGroup *PlayModeGroup = nullptr;
    RadioGroup *GameType = nullptr;
    RadioGroup *Difficulty = nullptr;
    QPushButton *RequestPlayBtn = nullptr;
    QPushButton *AddCharacterBtn = nullptr;
    QLabel *BuddiesLabel = nullptr;
    QListView *BuddyList = nullptr;   // the play requests' InviteList
    QPushButton *InviteBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
    QPushButton *StartRace = nullptr;
    QLabel *ContestantsLabel = nullptr;
    QListView *Contestants = nullptr;   // the session's roster
    QLabel *GameTypeLabel = nullptr;
    QTextEdit *InfoBox = nullptr;
    QPushButton *NewRaceBtn = nullptr;
    QPushButton *HelpBtn = nullptr;
    QPushButton *ExitBtn = nullptr;
    QPushButton *UnloadBtn = nullptr;
    QLabel *RevisionLabel = nullptr;

    // The windows it opens: the request window, made with it, and the help window, made
    // when help is first asked for (nullptr before).
    RequestWindow &requestWindow() const { return *request; }
    HelpWindow *helpWindow() const { return help; }

signals:
    // The window was closed: the program ends.
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    QRect monitorGeometry() const;
    void centreOnDesktop();
    Race &race;
    PlayRequests &requests;
    PlayControls *controls = nullptr;   // which controls the play mode shows
    const CharacterFilePicker picker;
    bool shownOnce = false;
    std::unique_ptr<RequestWindow> request;
    HelpWindow *help = nullptr;
    RaceMusic music;
    OnlineBuddiesWatch onlineBuddies;
};

// The refusal shown when the game was not started by the messenger.
extern const char *const MissingArgumentMessage;
