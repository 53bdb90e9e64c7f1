#include "RaceScreen.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

QRect RaceScreen::rect() const
{
    if (source_) {
        const QRect screen = source_();
        if (!screen.isEmpty())
            return screen;
    }
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QRect();
    const QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry() : QRect();
}
