// The race-track window: maximised behind the characters, with the banner across the
// top, the finish line at the right edge and the scoreboard of the first three.
#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;

class RaceTrackWindow : public QWidget
{
    Q_OBJECT
public:
    explicit RaceTrackWindow(QWidget *parent = nullptr);
    ~RaceTrackWindow() override;

    // Centres the finish label vertically on the screen.
    void CentreFinishLabel();
    // Fills the Win, Place and Show labels from the ranking and shows the panel.
    void ShowScoreboard();
    void CancelBtnClick();

    QLabel *Image1 = nullptr;
    QFrame *FinishLine = nullptr;
    QLabel *FinishLabel = nullptr;
    QPushButton *CancelBtn = nullptr;
    QFrame *ScoreBoard = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Winlabel = nullptr;
    QLabel *PlaceLabel = nullptr;
    QLabel *ShowLabel = nullptr;
    QPushButton *DummyButton = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    void placeControls();
};

// The window created at start-up (nullptr before and after).
extern RaceTrackWindow *TheRaceTrack;
