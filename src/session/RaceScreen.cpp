#include "RaceScreen.h"

#include "GameSession.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

void SetRaceScreenSource(RaceScreenSource source)
{
    GameSession::current().raceScreenSource = std::move(source);
}

QRect RaceScreen()
{
    if (const RaceScreenSource &source = GameSession::current().raceScreenSource) {
        const QRect screen = source();
        if (!screen.isEmpty())
            return screen;
    }
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QRect();
    const QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry() : QRect();
}

QSize ScreenSize()
{
    return RaceScreen().size();
}

QPoint DesktopPoint(QPoint racePosition)
{
    return racePosition + RaceScreen().topLeft();
}

QPoint RacePoint(QPoint desktopPosition)
{
    return desktopPosition - RaceScreen().topLeft();
}
