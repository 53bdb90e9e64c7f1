// The roster of contestants (the main window's "Game Contestants" list, kept in step
// with ContestantTable) and the list of online buddies ("Online Buddys").
#pragma once

#include <QColor>
#include <QString>
#include <QStyledItemDelegate>

#include <functional>

class QListWidget;
class QPainter;

struct ContestantItemFields {
    QString Uin;            // at most 15 characters
    QString PlayerName;     // at most 35
    QString CharacterFile;  // at most 35
};

// Adds one contestant and returns its slot (0 when the roster is full and nothing was
// added). A character file that is missing or already running is replaced by a free one.
int AddContestant(const QString &name, const QString &uin, const QString &characterFile);
ContestantItemFields SplitContestantItem(const QString &item);
bool CharacterInRoster(const QString &characterFile);   // letter case ignored
bool UinInRoster(const QString &uin);                   // exact
// Full game path of a character file that neither the user nor any contestant uses, or
// empty when every file in the character folder is taken.
QString RandomFreeCharacter();
// The shown part of a speech map tag (the text after "="" up to "\"), else the text.
QString ShownName(const QString &text);

// Fills the online list from online.txt (deleted afterwards) through onlinelist.lst.
void BuildOnlineBuddies();
bool BuddyChecked(const QString &uin);

void AddcharBtnClick();
void UnloadBtnClick();

// The file dialog of "Add Characters to Race" and "Browse". Tests install a picker that
// returns the path (or empty) at once, so that no dialog opens; an empty one restores
// the dialog. Returns the previous picker.
using CharacterFilePicker = std::function<QString(const QString &startFolder, const QString &filter)>;
CharacterFilePicker SetCharacterFilePicker(CharacterFilePicker picker);
// Asks for a character file through that dialog (or the test's picker) and returns at
// once; picked receives the path once one is picked, and is not called on a cancel.
void PickCharacterFile(const QString &startFolder, const QString &filter, std::function<void(const QString &path)> picked);

// Painting of the roster. Colours given as 0x00BBGGRR values, as the window system has them.
QColor ColorFromBgr(quint32 value);
struct ContestantColors {
    QColor fill;
    QColor text;
};
ContestantColors ContestantItemColors(int index, bool selected);
void ContestantsDrawItem(QPainter *painter, int index, const QRect &rect, bool selected);

// Item delegate of the roster list: fixed 13-pixel rows painted by ContestantsDrawItem.
class TContestantDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Item delegate that draws an item's text with tab stops every tabWidth pixels.
class TTabStopDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    TTabStopDelegate(int tabWidth, QObject *parent);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int tabWidth;
};
