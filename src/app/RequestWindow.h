// The "Request to Play" dialog: the host's UIN or address, the host's name, the
// character that will run for the user, and the request itself.
// The main window makes it; it stays hidden until "Request To Play" opens it.
#pragma once

#include <QWidget>

class CharacterFilePicker;
class PlayRequests;
class QLineEdit;
class QPushButton;

class RequestWindow : public QWidget
{
    Q_OBJECT
public:
    // A window of its own, shown centred on owner (when given); its request goes out
    // through the play requests; Browse asks the picker (which must outlive the window).
    RequestWindow(PlayRequests &requests, const CharacterFilePicker &picker, QWidget *owner = nullptr);

    // Fills in the inviter's UIN and name and the user's character, and shows the window.
    void Open();
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
    QPushButton *RequestBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PlayRequests &requests;
    const CharacterFilePicker &picker;
    QWidget *owner;
};
