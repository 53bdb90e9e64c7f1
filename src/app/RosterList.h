// The roster's list on the main window ("Game Contestants": adding characters, painting
// the rows) and the list of online buddies ("Online Buddys").
#pragma once

class Race;

#include "Roster.h"

class Dialogs;
#include "Waits.h"

#include <QColor>
#include <QString>
#include <QStyledItemDelegate>

#include <functional>

class InviteList;
class QPainter;
class QPushButton;

// Fills the list of online buddies from online.txt (deleted afterwards) through
// onlinelist.lst; the messenger's files are waited for while it holds them
// (OpenDataFileWhenFree). The list outlives the waits (main owns it).
Task<> BuildOnlineBuddies(InviteList &buddies);

// Where "Add Characters to Race" and "Browse" get a character file: the file dialog, or a
// test's stand-in that answers at once, so that no dialog opens. The main window is
// handed one and lends it to its request window.
class CharacterFilePicker
{
public:
    // Returns the picked path at once (empty: cancelled).
    using Answer = std::function<QString(const QString &startFolder, const QString &filter)>;
    CharacterFilePicker() = default;   // the file dialog
    explicit CharacterFilePicker(Answer answer) : answer(std::move(answer)) {}
    // Asks for a character file, modal over window, and returns at once; picked receives
    // the path once one is picked, and is not called on a cancel.
    void pick(QWidget *window, const QString &startFolder, const QString &filter,
              std::function<void(const QString &path)> picked) const;

private:
    Answer answer;
};

// "Add Characters to Race": the picked character joins the roster; the button hides once
// the roster is full.
void AddCharacterBtnClick(QPushButton *addButton, const Race &race, const CharacterFilePicker &picker);

// Painting of the roster. Colours given as 0x00BBGGRR values, as the window system has them.
QColor ColorFromBgr(quint32 value);
struct ContestantColors {
    QColor fill;
    QColor text;
};
// A row of the roster's list (Roster's roles), or the session roster's slot.
ContestantColors ContestantItemColors(const QModelIndex &index, bool selected);
ContestantColors ContestantItemColors(const Roster &roster, int slot, bool selected);

// Item delegate of the roster list: fixed 13-pixel rows, the UIN, the name and the
// character file in columns, coloured by the slot's state.
class ContestantDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Item delegate that draws an item's text with tab stops every tabWidth pixels.
class TabStopDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    TabStopDelegate(int tabWidth, QObject *parent);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int tabWidth;
};
