// Adding contestants to the roster, finding free characters, and painting the roster.
#include "RosterUnit.h"

#include "MainUnit.h"
#include "MessageBoxes.h"
#include "RaceModel.h"
#include "RaceStart.h"
#include "TTSUnit.h"
#include "kw_unit.h"
#include "records.h"

#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>

#include <utility>

namespace {

constexpr int ContestantItemHeight = 13;
constexpr int MaxCharacterDraws = 200;

QString characterFolder()
{
    return WindowsFolder() + QStringLiteral("Msagent\\chars\\");
}

QStringList rosterItems()
{
    QStringList items;
    if (!MainForm)
        return items;
    for (int i = 0; i < MainForm->Contestants->count(); ++i)
        items.append(MainForm->Contestants->item(i)->text());
    return items;
}

// A TAB inside a field would shift every later field of the item.
QString fieldText(const QString &text, int capacity)
{
    QString result = text.left(capacity);
    result.replace(u'\t', u' ');
    return result;
}

bool characterTaken(const QString &candidatePath, const QStringList &items)
{
    if (candidatePath == Records::Options.UserCharacterFile)
        return true;
    for (const QString &item : items)
        if (candidatePath == characterFolder() + SplitContestantItem(item).CharacterFile)
            return true;
    return false;
}

CharacterFilePicker &pickerSlot()
{
    static CharacterFilePicker picker;   // empty: the file dialog
    return picker;
}

} // namespace

CharacterFilePicker SetCharacterFilePicker(CharacterFilePicker picker)
{
    return std::exchange(pickerSlot(), std::move(picker));
}

void PickCharacterFile(const QString &startFolder, const QString &filter, std::function<void(const QString &)> picked)
{
    if (pickerSlot()) {
        const QString path = pickerSlot()(startFolder, filter);
        if (!path.isEmpty())
            picked(path);
        return;
    }
    // Opened window-modal and answered through its signal: no nested event loop.
    auto *dialog = new QFileDialog(MainForm, QString(), NativePath(startFolder), filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [picked = std::move(picked)](const QString &path) {
        if (!path.isEmpty())
            picked(path);
    });
    dialog->open();
}

ContestantItemFields SplitContestantItem(const QString &item)
{
    ContestantItemFields fields;
    const qsizetype first = item.indexOf(u'\t');
    if (first < 0) {
        fields.Uin = item.left(ContestantUinCapacity);
        return fields;
    }
    fields.Uin = item.left(qMin<qsizetype>(first, ContestantUinCapacity));
    const qsizetype second = item.indexOf(u'\t', first + 1);
    if (second < 0) {
        fields.PlayerName = item.mid(first + 1, ContestantNameCapacity);
        return fields;
    }
    fields.PlayerName = item.mid(first + 1, qMin<qsizetype>(second - first - 1, ContestantNameCapacity));
    fields.CharacterFile = item.mid(second + 1, ContestantFileCapacity);
    return fields;
}

bool CharacterInRoster(const QString &characterFile)
{
    for (const QString &item : rosterItems())
        if (SplitContestantItem(item).CharacterFile.compare(characterFile, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool UinInRoster(const QString &uin)
{
    for (const QString &item : rosterItems())
        if (SplitContestantItem(item).Uin == uin)
            return true;
    return false;
}

QString RandomFreeCharacter()
{
    const QStringList items = rosterItems();
    // Find out first whether any file is free at all, so that the draws below can end.
    const QDir folder(NativePath(characterFolder()));
    QStringList free;
    for (const QString &name : folder.entryList({QStringLiteral("*.acs")}, QDir::Files, QDir::Name))
        if (!name.toLower().contains(QStringLiteral("random")) && !characterTaken(characterFolder() + name, items))
            free.append(name);
    if (free.isEmpty())
        return QString();
    for (int draw = 0; draw < MaxCharacterDraws; ++draw) {
        const QString candidate = characterFolder() + RandomCharacterFile();
        if (!characterTaken(candidate, items) && FileExists(candidate))
            return candidate;
    }
    return characterFolder() + free.at(RandomInt(int(free.size())));
}

QString ShownName(const QString &text)
{
    static const QString opening = QStringLiteral("\"=\"");
    const qsizetype start = text.indexOf(opening);
    if (start < 0)
        return text;
    const QString shown = text.mid(start + opening.size(), 100);
    const qsizetype end = shown.indexOf(QStringLiteral("\"\\"));
    if (end < 0)
        return text;
    return shown.left(end);
}

int AddContestant(const QString &name, const QString &uin, const QString &characterFile)
{
    if (!MainForm)
        return 0;
    QListWidget *list = MainForm->Contestants;
    QString file = characterFile;
    if (CharacterInRoster(file))
        file = NameOfPath(RandomFreeCharacter());
    if (list->count() >= MaxContestants) {
        MessageBeep(BeepKind::Stop);
        ShowMessageBox(BoxKind::Error, QStringLiteral("We have the maximum number of Contestants."));
        return 0;
    }
    const QString shown = fieldText(ShownName(name), ContestantNameCapacity);
    if (!FileExists(WindowsFolder() + QStringLiteral("msagent\\chars\\") + file))
        file = NameOfPath(RandomFreeCharacter());
    file = fieldText(file, ContestantFileCapacity);
    const QString owner = fieldText(uin, ContestantUinCapacity);
    list->addItem(owner + u'\t' + shown + u'\t' + file);
    const int slot = list->count() - 1;
    ContestantRecord &record = ContestantTable[slot];
    record.CharacterFile = file;
    record.Uin = owner;
    record.PlayerName = shown;
    record.Confirmed = 0;
    return slot;
}

void AddcharBtnClick()
{
    if (!MainForm)
        return;
    if (RaceInProgress()) {
        MessageBeep(BeepKind::Error);
        ShowMessageBox(BoxKind::Error, QStringLiteral("Cancel the game before you add characters."));
        return;
    }
    PickCharacterFile(WindowsFolder() + QStringLiteral("MSAgent\\Chars"), QStringLiteral("*.acs"), [](const QString &picked) {
        // A race may have begun while the dialog was open.
        if (!MainForm || RaceInProgress())
            return;
        const QString file = NameOfPath(picked);
        AddContestant(WithoutExtension(file), QStringLiteral(" "), file);
        if (MainForm->Contestants->count() > 5)
            MainForm->AddcharBtn->hide();
    });
}

void UnloadBtnClick()
{
    if (!MainForm)
        return;
    // Every character the game may have loaded, whatever the list holds now: the list
    // may have changed since they were loaded.
    for (int n = 0; n < MaxContestants; ++n)
        UnloadCharacter(QStringLiteral("Player") + QString::number(n));
    UnloadCharacter(QStringLiteral("Announcer"));
}

QColor ColorFromBgr(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

ContestantColors ContestantItemColors(int index, bool selected)
{
    if (selected)
        return {ColorFromBgr(0xFF0000), ColorFromBgr(0xFFFFFF)};
    if (index >= 0 && index < MaxContestants && ContestantTable[index].Confirmed != 0)
        return {ColorFromBgr(0x00FF00), ColorFromBgr(0x800000)};
    return {ColorFromBgr(0xC1FFFF), ColorFromBgr(0x800000)};
}

void ContestantsDrawItem(QPainter *painter, int index, const QRect &rect, bool selected)
{
    if (!MainForm || index < 0 || index >= MainForm->Contestants->count())
        return;
    const ContestantColors colors = ContestantItemColors(index, selected);
    painter->save();
    painter->fillRect(rect, colors.fill);
    painter->setPen(colors.text);
    painter->setClipRect(rect);
    const ContestantItemFields fields = SplitContestantItem(MainForm->Contestants->item(index)->text());
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    painter->drawText(QRect(rect.left() + 2, rect.top(), 50, rect.height()), flags, fields.Uin);
    painter->drawText(QRect(rect.left() + 52, rect.top(), 60, rect.height()), flags, fields.PlayerName);
    painter->drawText(QRect(rect.left() + 112, rect.top(), qMax(0, rect.width() - 112), rect.height()),
                      flags, fields.CharacterFile);
    painter->restore();
}

void TContestantDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    ContestantsDrawItem(painter, index.row(), option.rect, option.state & QStyle::State_Selected);
}

QSize TContestantDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), ContestantItemHeight);
}

TTabStopDelegate::TTabStopDelegate(int tabWidth, QObject *parent)
    : QStyledItemDelegate(parent), tabWidth(tabWidth)
{
}

void TTabStopDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
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
