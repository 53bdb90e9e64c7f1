#include "RequestWindow.h"

#include "GameSession.h"
#include "MessageBoxes.h"
#include "PlayRequests.h"
#include "records.h"
#include "RosterList.h"
#include "Utilities.h"
#include "WindowRoles.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace {

QLineEdit *makeEdit(QWidget *parent, const QString &label, const QRect &geometry, bool readOnly)
{
    auto *caption = new QLabel(label, parent);
    caption->move(geometry.x(), geometry.y() - 15);
    auto *edit = new QLineEdit(parent);
    edit->setGeometry(geometry);
    edit->setReadOnly(readOnly);
    edit->setAccessibleName(label);
    caption->setBuddy(edit);
    return edit;
}

QPushButton *makeButton(QWidget *parent, const QString &caption, const QRect &geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    button->setAccessibleName(caption);
    return button;
}

} // namespace

RequestWindow::RequestWindow(PlayRequests &requests, const CharacterFilePicker &picker, QWidget *owner)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint), requests(requests),
      picker(picker), owner(owner)
{
    SetWindowRole(this, WindowRole::Dialog);
    setObjectName(QStringLiteral("ReqPlayForm"));
    setWindowTitle(QStringLiteral("Request to Play"));
    setFixedSize(357, 110);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(255, 0, 255));
    setPalette(colours);
    setAutoFillBackground(true);
    UinEdit = makeEdit(this, QStringLiteral("To UIN"), QRect(8, 22, 105, 21), false);
    NameEdit = makeEdit(this, QStringLiteral("Name"), QRect(121, 22, 113, 21), true);
    CharacterEdit = makeEdit(this, QStringLiteral("Character"), QRect(242, 22, 107, 21), true);
    BrowseBtn = makeButton(this, QStringLiteral("Browse"), QRect(274, 48, 75, 22));
    RequestBtn = makeButton(this, QStringLiteral("Request to Play"), QRect(60, 80, 110, 24));
    CancelBtn = makeButton(this, QStringLiteral("Cancel"), QRect(190, 80, 90, 24));
    UinEdit->installEventFilter(this);
    connect(BrowseBtn, &QPushButton::clicked, this, &RequestWindow::BrowseBtnClick);
    connect(RequestBtn, &QPushButton::clicked, this, &RequestWindow::RequestBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &RequestWindow::CancelBtnClick);
}

void RequestWindow::Open()
{
    const GameSession &session = requests.session();
    if (!session.inviterUin().isEmpty()) {
        UinEdit->setText(session.inviterUin());
        if (!session.inviterName().isEmpty())
            NameEdit->setText(session.inviterName());
    }
    CharacterEdit->setText(NameOfPath(Records::Options.UserCharacterFile));
    show();
    raise();
    activateWindow();
}

void RequestWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (owner)
        move(owner->geometry().center() - rect().center());
    WhenShown();
}

bool RequestWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == UinEdit && event->type() == QEvent::KeyPress)
        UinEditKeyDown();
    return QWidget::eventFilter(watched, event);
}

void RequestWindow::WhenShown()
{
    UinEdit->setFocus();
}

void RequestWindow::UinEditKeyDown()
{
    NameEdit->clear();
}

void RequestWindow::BrowseBtnClick()
{
    const QPointer<RequestWindow> self(this);
    picker.pick(owner, WindowsFolder() + QStringLiteral("MSAgent\\Chars"), QStringLiteral("*.acs"),
                [self](const QString &picked) {
                    if (self)
                        self->CharacterEdit->setText(NameOfPath(picked));
                });
}

bool RequestWindow::RequestBtnClick()
{
    if (CharacterEdit->text().isEmpty()) {
        MessageBeep(BeepKind::Stop);
        return false;
    }
    if (!requests.RequestToPlay(UinEdit->text(), CharacterEdit->text())) {
        MessageBeep(BeepKind::Stop);
        return false;
    }
    MessageBeep(BeepKind::Default);
    close();
    return true;
}

void RequestWindow::CancelBtnClick()
{
    close();
}
