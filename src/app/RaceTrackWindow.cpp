#include "RaceTrackWindow.h"

#include "RaceModel.h"
#include "RaceScreen.h"
#include "Scoreboard.h"
#include "Roster.h"
#include "Utilities.h"
#include "WindowRoles.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

QLabel *colouredLabel(const QString &text, const QColor &background, QWidget *parent, const QString &name)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);   // players' names come from other machines
    label->setObjectName(name);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(12);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, background == Qt::white ? Qt::black : Qt::white);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    label->setAccessibleName(text.trimmed());
    return label;
}

} // namespace

RaceTrackWindow::RaceTrackWindow(Race &race, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), race(race)
{
    SetWindowRole(this, WindowRole::Frame);
    setObjectName(QStringLiteral("PlayForm"));
    setWindowTitle(QStringLiteral("Hollyfrost Games"));
    resize(688, 453);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(99, 177, 177));
    setPalette(palette);
    setAutoFillBackground(true);

    Banner = new QLabel(this);
    Banner->setObjectName(QStringLiteral("Image1"));
    Banner->setAlignment(Qt::AlignCenter);
    const QPixmap banner(NativePath(ProgramFolder() + QStringLiteral("RaceBanner.jpg")));
    if (!banner.isNull())
        Banner->setPixmap(banner.scaledToHeight(74, Qt::SmoothTransformation));

    FinishLine = new QFrame(this);
    FinishLine->setObjectName(QStringLiteral("FinishLine"));
    FinishLine->setFrameStyle(QFrame::Box | QFrame::Raised);
    FinishLabel = new QLabel(QStringLiteral("    F I N I S H"), FinishLine);
    FinishLabel->setObjectName(QStringLiteral("FinishLabel"));
    FinishLabel->setWordWrap(true);   // one letter a line: it reads top to bottom
    FinishLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont finishFont(QStringLiteral("MS Sans Serif"));
    finishFont.setBold(true);
    FinishLabel->setFont(finishFont);
    QPalette finishPalette = FinishLabel->palette();
    finishPalette.setColor(QPalette::Window, Qt::black);
    finishPalette.setColor(QPalette::WindowText, Qt::white);
    FinishLabel->setPalette(finishPalette);
    FinishLabel->setAutoFillBackground(true);
    FinishLabel->resize(12, 166);
    FinishLabel->setAccessibleName(QStringLiteral("FINISH"));

    CancelBtn = new QPushButton(QStringLiteral("Cancel Game"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAccessibleName(QStringLiteral("Cancel Game"));
    connect(CancelBtn, &QPushButton::clicked, this, &RaceTrackWindow::CancelBtnClick);

    ScoreBoard = new QFrame(this);
    ScoreBoard->setObjectName(QStringLiteral("ScoreBoard"));
    ScoreBoard->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ScoreBoard->setLineWidth(5);
    QPalette boardPalette = ScoreBoard->palette();
    boardPalette.setColor(QPalette::Window, Qt::blue);
    ScoreBoard->setPalette(boardPalette);
    ScoreBoard->setAutoFillBackground(true);
    ScoreBoard->resize(368, 155);
    ScoreBoard->hide();
    ScoreboardTitle = colouredLabel(QStringLiteral("  Scoreboard  "), Qt::white, ScoreBoard, QStringLiteral("Label1"));
    ScoreboardTitle->setFont(QFont(QStringLiteral("Comic Sans MS"), 14, QFont::Bold));
    WinLabel = colouredLabel(QStringLiteral("  Win:  "), Qt::red, ScoreBoard, QStringLiteral("Winlabel"));
    PlaceLabel = colouredLabel(QStringLiteral(" Place:"), QColor(0, 128, 128), ScoreBoard, QStringLiteral("PlaceLabel"));
    ShowLabel = colouredLabel(QStringLiteral(" Show:"), QColor(128, 0, 64), ScoreBoard, QStringLiteral("ShowLabel"));
    ScoreboardTitle->move(120, 12);
    WinLabel->move(20, 52);
    PlaceLabel->move(20, 84);
    ShowLabel->move(20, 116);

    FocusHolder = new QPushButton(this);
    FocusHolder->setObjectName(QStringLiteral("DummyButton"));
    FocusHolder->resize(1, 1);
    FocusHolder->setFlat(true);
    FocusHolder->setAccessibleName(QStringLiteral("Race track"));   // what a screen reader says on the focus
    placeControls();
    connect(&race, &Race::raceStep, this, &RaceTrackWindow::showRaceStep);
}

void RaceTrackWindow::placeControls()
{
    Banner->setGeometry(0, 0, width(), 74);
    FinishLine->setGeometry(width() - 18, 42, 18, std::max(0, height() - 13 - 42));
    CancelBtn->adjustSize();
    CancelBtn->move(width() - CancelBtn->width() - 2, 2);
    FocusHolder->move(width() - CancelBtn->width() - 8, 4);
}

void RaceTrackWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void RaceTrackWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FocusHolder->setFocus();
}

bool RaceTrackWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FocusHolder->setFocus();
    return QWidget::event(event);
}

void RaceTrackWindow::showRaceStep(RaceStep step)
{
    switch (step) {
    case RaceStep::TrackOpened:
        OpenRaceTrack();
        break;
    case RaceStep::ScoreboardShown:
        ShowScoreboard();
        break;
    case RaceStep::Cancelled:   // at once, however the race was left
    case RaceStep::Over:
        hide();
        break;
    case RaceStep::Starting:
    case RaceStep::Opened:
    case RaceStep::RoundsRunning:
        break;
    }
}

void RaceTrackWindow::OpenRaceTrack()
{
    ScoreBoard->hide();   // the last race's scoreboard
    // Maximised on the race's monitor: a window manager maximises a window where it stands.
    setWindowState(Qt::WindowNoState);
    setGeometry(race.screen().rect());
    showMaximized();
    CentreFinishLabel();
}

void RaceTrackWindow::CentreFinishLabel()
{
    const QRect screen = race.screen().rect();
    // Without a window manager "maximised" is not enforced: take the whole screen.
    if (!screen.isEmpty() && geometry() != screen)
        setGeometry(screen);
    FinishLabel->move(3, screen.height() / 2 - FinishLabel->height() / 2);
}

void RaceTrackWindow::ShowScoreboard()
{
    const std::optional<Scoreboard> board =
        ScoreboardOf(race.roster().count(), race.session().raceRun().standings, race.roster().model().contestants);
    if (!board)
        return;
    WinLabel->setText(QStringLiteral("  Win:  ") + board->win);
    PlaceLabel->setText(QStringLiteral(" Place: ") + board->place);
    ShowLabel->setVisible(board->show.has_value());
    if (board->show)
        ShowLabel->setText(QStringLiteral(" Show:  ") + *board->show);
    for (QLabel *label : {WinLabel, PlaceLabel, ShowLabel}) {
        label->adjustSize();
        label->setAccessibleName(label->text().trimmed());
    }
    ScoreBoard->move(race.screen().size().width() / 2 - ScoreBoard->width() / 2, 76);
    ScoreBoard->show();
    ScoreBoard->raise();
}

void RaceTrackWindow::CancelBtnClick()
{
    close();
    race.cancel();
}
