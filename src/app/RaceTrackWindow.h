// The race-track window: maximised behind the characters, with the banner across the
// top, the finish line at the right edge and the scoreboard of the first three. It
// follows the race's steps: it opens when the race track does, shows the
// scoreboard at the finish and goes when the race is over.
#pragma once

#include "Race.h"

#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;

class RaceTrackWindow : public QWidget
{
    Q_OBJECT
public:
    explicit RaceTrackWindow(Race &race, QWidget *parent = nullptr);

    // Shows the window maximised on the race's screen, without the last race's
    // scoreboard, and centres the finish label.
    void OpenRaceTrack();
    // Centres the finish label vertically on the screen.
    void CentreFinishLabel();
    // Fills the Win, Place and Show labels from the ranking and shows the panel.
    void ShowScoreboard();
    void CancelBtnClick();

    QLabel *Banner = nullptr;
    QFrame *FinishLine = nullptr;
    QLabel *FinishLabel = nullptr;
    QPushButton *CancelBtn = nullptr;
    QFrame *ScoreBoard = nullptr;
    QLabel *ScoreboardTitle = nullptr;
    QLabel *WinLabel = nullptr;
    QLabel *PlaceLabel = nullptr;
    QLabel *ShowLabel = nullptr;
    QPushButton *FocusHolder = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    void placeControls();
    void showRaceStep(RaceStep step);

    Race &race;
};
