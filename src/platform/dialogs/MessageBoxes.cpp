#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace {
MessageBoxAnswerer &answererSlot()
{
    static MessageBoxAnswerer answerer;
    return answerer;
}
} // namespace

MessageBoxAnswerer SetMessageBoxAnswerer(MessageBoxAnswerer answerer)
{
    MessageBoxAnswerer previous = std::move(answererSlot());
    answererSlot() = std::move(answerer);
    return previous;
}

void MessageBeep(BeepKind)
{
    if (answererSlot())
        return;
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        QApplication::beep();
}

void ShowMessageBox(BoxKind kind, const QString &text)
{
    if (const MessageBoxAnswerer &answerer = answererSlot()) {
        answerer(kind, text);
        return;
    }
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;   // no window system: nobody could answer the box
    const QString title = QApplication::applicationDisplayName().isEmpty()
                              ? QStringLiteral("Hollyfrost Games")
                              : QApplication::applicationDisplayName();
    QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::Information, title,
                    shown, QMessageBox::Ok);
    box.setAccessibleName(shown);
    box.exec();
}
