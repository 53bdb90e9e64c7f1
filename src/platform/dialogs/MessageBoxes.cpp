#include "MessageBoxes.h"

#include "WindowRoles.h"

#include <QApplication>
#include <QMessageBox>

namespace {
MessageBoxAnswerer &answererSlot()
{
    static MessageBoxAnswerer answerer;
    return answerer;
}
QString boxTitle()
{
    return QApplication::applicationDisplayName().isEmpty() ? QStringLiteral("Hollyfrost Games")
                                                            : QApplication::applicationDisplayName();
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
    QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::Information, boxTitle(),
                    shown, QMessageBox::Ok);
    box.setAccessibleName(shown);
    box.exec();
}

namespace {
QuestionAnswerer &questionAnswererSlot()
{
    static QuestionAnswerer answerer;
    return answerer;
}
} // namespace

QuestionAnswerer SetQuestionAnswerer(QuestionAnswerer answerer)
{
    QuestionAnswerer previous = std::move(questionAnswererSlot());
    questionAnswererSlot() = std::move(answerer);
    return previous;
}

bool AskYesNo(const QString &text)
{
    if (const QuestionAnswerer &answerer = questionAnswererSlot())
        return answerer(text);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return false;   // no window system: nobody could say yes
    QString shown = text;
    shown.replace(u'\r', u'\n');
    QMessageBox box(QMessageBox::Information, boxTitle(), shown, QMessageBox::Yes | QMessageBox::No);
    // A question to answer rather than an alert: a dialog named by its title, its text
    // read as the description.
    SetWindowRole(&box, WindowRole::Dialog);
    box.setAccessibleDescription(shown);
    return box.exec() == QMessageBox::Yes;
}
