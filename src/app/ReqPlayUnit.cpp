#include "ReqPlayUnit.h"

#include "GameMessages.h"
#include "GameTransport.h"
#include "MainUnit.h"
#include "MessageBoxes.h"
#include "RosterUnit.h"
#include "WindowRoles.h"
#include "Utilities.h"
#include "records.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

TReqPlayForm *ReqPlayForm = nullptr;

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

TReqPlayForm::TReqPlayForm(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    SetWindowRole(this, WindowRole::Dialog);
    setObjectName(QStringLiteral("ReqPlayForm"));
    setWindowTitle(QStringLiteral("Request to Play"));
    setFixedSize(357, 110);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(255, 0, 255));
    setPalette(colours);
    setAutoFillBackground(true);
    UINedit = makeEdit(this, QStringLiteral("To UIN"), QRect(8, 22, 105, 21), false);
    NameEdit = makeEdit(this, QStringLiteral("Name"), QRect(121, 22, 113, 21), true);
    Charname = makeEdit(this, QStringLiteral("Character"), QRect(242, 22, 107, 21), true);
    Button1 = makeButton(this, QStringLiteral("Browse"), QRect(274, 48, 75, 22));
    ReqBtn = makeButton(this, QStringLiteral("Request to Play"), QRect(60, 80, 110, 24));
    CancelBtn = makeButton(this, QStringLiteral("Cancel"), QRect(190, 80, 90, 24));
    UINedit->installEventFilter(this);
    connect(Button1, &QPushButton::clicked, this, &TReqPlayForm::Button1Click);
    connect(ReqBtn, &QPushButton::clicked, this, &TReqPlayForm::ReqBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TReqPlayForm::CancelBtnClick);
    ReqPlayForm = this;
}

TReqPlayForm::~TReqPlayForm()
{
    if (ReqPlayForm == this)
        ReqPlayForm = nullptr;
}

void TReqPlayForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (MainForm)
        move(MainForm->geometry().center() - rect().center());
    FormShow();
}

bool TReqPlayForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == UINedit && event->type() == QEvent::KeyPress)
        UINeditKeyDown();
    return QWidget::eventFilter(watched, event);
}

void TReqPlayForm::FormShow()
{
    UINedit->setFocus();
}

void TReqPlayForm::UINeditKeyDown()
{
    NameEdit->clear();
}

void TReqPlayForm::Button1Click()
{
    const QPointer<TReqPlayForm> self(this);
    PickCharacterFile(WindowsFolder() + QStringLiteral("MSAgent\\Chars"), QStringLiteral("*.acs"),
                      [self](const QString &picked) {
                          if (self)
                              self->Charname->setText(NameOfPath(picked));
                      });
}

bool TReqPlayForm::ReqBtnClick()
{
    if (Charname->text().isEmpty()) {
        MessageBeep(BeepKind::Stop);
        return false;
    }
    const QString address = ResolvePlayerAddress(UINedit->text());
    if (address.isEmpty()) {
        MessageBeep(BeepKind::Stop);
        return false;
    }
    RequestedHostAddress = address;   // the only address whose answer is taken
    SendGameMessage(QStringLiteral("RQ"), address,
                    QStringLiteral("&&") + QString::number(Records::Options.UserUin) + QStringLiteral("&&")
                        + Charname->text());
    MessageBeep(BeepKind::Default);
    close();
    return true;
}

void TReqPlayForm::CancelBtnClick()
{
    close();
}
