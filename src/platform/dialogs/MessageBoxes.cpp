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

namespace {
// Opens a box application-modal and returns at once; the box deletes itself once closed,
// and so does any box still open when the event loop ends.
QMessageBox *openBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons,
                     bool question = false)
{
    auto *box = new QMessageBox(icon, boxTitle(), text, buttons);
    if (question) {
        // A question to answer rather than an alert: a dialog named by its title, its
        // text read as the description.
        SetWindowRole(box, WindowRole::Dialog);
        box->setAccessibleDescription(text);
    } else {
        box->setAccessibleName(text);
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, box, &QObject::deleteLater);
    box->open();
    return box;
}
} // namespace

void ShowMessageBox(BoxKind kind, const QString &text, std::function<void()> closed)
{
    if (const MessageBoxAnswerer &answerer = answererSlot()) {
        answerer(kind, text);
        if (closed)
            closed();
        return;
    }
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        if (closed)
            closed();   // no window system: nobody could answer the box
        return;
    }
    QMessageBox *box = openBox(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::Information, shown,
                               QMessageBox::Ok);
    if (closed)
        QObject::connect(box, &QDialog::finished, box, [closed = std::move(closed)] { closed(); });
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

void AskYesNo(const QString &text, std::function<void(bool yes)> answered)
{
    if (const QuestionAnswerer &answerer = questionAnswererSlot()) {
        answered(answerer(text));
        return;
    }
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        answered(false);   // no window system: nobody could say yes
        return;
    }
    QString shown = text;
    shown.replace(u'\r', u'\n');
    QMessageBox *box = openBox(QMessageBox::Information, shown, QMessageBox::Yes | QMessageBox::No, true);
    QObject::connect(box, &QDialog::finished, box,
                     [answered = std::move(answered)](int result) { answered(result == QMessageBox::Yes); });
}
