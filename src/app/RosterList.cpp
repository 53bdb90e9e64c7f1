// The "Game Contestants" list: adding characters through the file dialog, unloading them, and
// painting the rows.
#include "RosterList.h"

#include "Dialogs.h"
#include "Roster.h"
#include "MessageBoxes.h"
#include "RaceModel.h"
#include "Race.h"
#include "records.h"
#include "Roster.h"
#include "Utilities.h"

#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include <utility>

namespace {

constexpr int ContestantItemHeight = 13;

} // namespace

void CharacterFilePicker::pick(QWidget *window, const QString &startFolder, const QString &filter,
                               std::function<void(const QString &)> picked) const
{
    if (answer) {
        const QString path = answer(startFolder, filter);
        if (!path.isEmpty())
            picked(path);
        return;
    }
    // Opened window-modal and answered through its signal: no nested event loop.
    auto *dialog = new QFileDialog(window, QString(), NativePath(startFolder), filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [picked = std::move(picked)](const QString &path) {
        if (!path.isEmpty())
            picked(path);
    });
    dialog->open();
}

void AddCharacterBtnClick(QPushButton *addButton, const Race &race, const CharacterFilePicker &picker)
{
    if (race.inProgress()) {
        MessageBeep(BeepKind::Error);
        ShowMessageBox(BoxKind::Error, QStringLiteral("Cancel the game before you add characters."));
        return;
    }
    const QPointer<QPushButton> button(addButton);
    const auto add = [button, race = &race](const QString &picked) {
        // A race may have begun, or the window gone, while the dialog was open.
        if (!button || race->inProgress())
            return;
        const QString file = NameOfPath(picked);
        if (!race->roster().add(WithoutExtension(file), QStringLiteral(" "), file))
            TellRosterFull(race->dialogs());
        if (race->roster().count() >= MaxContestants)
            button->hide();
    };
    picker.pick(addButton->window(), WindowsFolder() + QStringLiteral("MSAgent\\Chars"), QStringLiteral("*.acs"), add);
}

QColor ColorFromBgr(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

ContestantColors ContestantItemColors(const QModelIndex &index, bool selected)
{
    if (selected)
        return {ColorFromBgr(0xFF0000), ColorFromBgr(0xFFFFFF)};
    if (index.data(Roster::SlotStateRole).toInt() != SlotUnconfirmed)
        return {ColorFromBgr(0x00FF00), ColorFromBgr(0x800000)};
    return {ColorFromBgr(0xC1FFFF), ColorFromBgr(0x800000)};
}

ContestantColors ContestantItemColors(const Roster &roster, int slot, bool selected)
{
    return ContestantItemColors(roster.index(slot), selected);
}

void ContestantDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    if (!index.isValid())
        return;
    const QRect &rect = option.rect;
    const ContestantColors colors = ContestantItemColors(index, option.state & QStyle::State_Selected);
    painter->save();
    painter->fillRect(rect, colors.fill);
    painter->setPen(colors.text);
    painter->setClipRect(rect);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    painter->drawText(QRect(rect.left() + 2, rect.top(), 50, rect.height()), flags,
                      index.data(Roster::UinRole).toString());
    painter->drawText(QRect(rect.left() + 52, rect.top(), 60, rect.height()), flags,
                      index.data(Roster::NameRole).toString());
    painter->drawText(QRect(rect.left() + 112, rect.top(), qMax(0, rect.width() - 112), rect.height()), flags,
                      index.data(Roster::CharacterFileRole).toString());
    painter->restore();
}

QSize ContestantDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), ContestantItemHeight);
}

TabStopDelegate::TabStopDelegate(int tabWidth, QObject *parent)
    : QStyledItemDelegate(parent), tabWidth(tabWidth)
{
}

void TabStopDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    const QString text = background.text;
    background.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : nullptr;
    if (!style)
        return;
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &background, widget);
    QTextOption textOption(Qt::AlignLeft | Qt::AlignVCenter);
    textOption.setTabStopDistance(tabWidth);
    textOption.setWrapMode(QTextOption::NoWrap);
    painter->save();
    painter->setPen(background.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                                   : QPalette::Text));
    painter->setClipRect(textRect);
    painter->drawText(QRectF(textRect), text, textOption);
    painter->restore();
}
