#include "CountdownWindow.h"

#include "Race.h"
#include "RaceScreen.h"
#include "Utilities.h"

#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QRegion>

CountdownWindow::CountdownWindow(const Race &race, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      raceScreen(race.screen())
{
    setObjectName(QStringLiteral("CountDownForm"));
    setWindowTitle(QStringLiteral("CountDownForm"));
    setFixedSize(141, 135);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::red);
    setPalette(palette);
    setAutoFillBackground(true);
    // A red disc: the window's region is the ellipse from (1, 1) to the far corner.
    setMask(QRegion(1, 1, width() - 1, height() - 1, QRegion::Ellipse));

    Number = new QLabel(QStringLiteral("9"), this);
    Number->setObjectName(QStringLiteral("Label1"));
    QFont font(QStringLiteral("Comic Sans MS"));
    font.setBold(true);
    font.setPixelSize(96);
    Number->setFont(font);
    QPalette labelPalette = Number->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::white);
    Number->setPalette(labelPalette);
    Number->setAlignment(Qt::AlignCenter);
    Number->setGeometry(rect());
    Number->setAccessibleName(QStringLiteral("Countdown"));
    connect(&race, &Race::countdownNumber, this, &CountdownWindow::showNumber);
}

void CountdownWindow::showNumber(int number)
{
    if (number == CountdownOver) {
        close();
        return;
    }
    Number->setText(QString::number(number));
    if (isVisible())
        return;
    const QSize screen = raceScreen.size();
    move(raceScreen.desktopPoint(QPoint((screen.width() - width()) / 2, (screen.height() - height()) / 2)));
    show();
    raise();
}
