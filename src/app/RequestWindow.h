// The "Request to Play" dialog: the host's UIN or address, the host's name, the
// character that will run for the user, and the request itself.
// Created once at start-up, hidden until "Request To Play" shows it.
#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

class RequestWindow : public QWidget
{
    Q_OBJECT
public:
    explicit RequestWindow(QWidget *parent = nullptr);
    ~RequestWindow() override;

    void WhenShown();
    void UinEditKeyDown();
    void BrowseBtnClick();
    // Sends the request; false (after a stop beep) when no character or address is given.
    bool RequestBtnClick();
    void CancelBtnClick();

    QLineEdit *UinEdit = nullptr;
    QLineEdit *NameEdit = nullptr;
    QLineEdit *CharacterEdit = nullptr;
    QPushButton *BrowseBtn = nullptr;
    QPushButton *ReqBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The window created at start-up (nullptr before and after).
extern RequestWindow *TheRequestWindow;
