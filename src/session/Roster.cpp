// The roster: adding and finding contestants, free characters, and the list model.
#include "Roster.h"

#include "CharacterFiles.h"
#include "Dialogs.h"
#include "RaceModel.h"
#include "records.h"
#include "Utilities.h"

#include <QDir>

namespace {

constexpr int MaxCharacterDraws = 200;

QString characterFolder()
{
    return WindowsFolder() + QStringLiteral("Msagent\\chars\\");
}

// A TAB inside a field would shift every later field of the list item.
QString fieldText(const QString &text, int capacity)
{
    QString result = text.left(capacity);
    result.replace(u'\t', u' ');
    return result;
}

// The user's own character, or one of the roster's.
bool characterTaken(const RaceModel &model, int count, const QString &candidatePath)
{
    if (candidatePath == Records::Options.UserCharacterFile)
        return true;
    for (int slot = 0; slot < count; ++slot)
        if (candidatePath == characterFolder() + model.contestants[slot].CharacterFile)
            return true;
    return false;
}

} // namespace

Roster::Roster(RaceModel &model, QObject *parent)
    : QAbstractListModel(parent), model_(model)
{
}

QString PlayerIdentity(int slot)
{
    return QStringLiteral("Player") + QString::number(slot);
}

void Roster::clear()
{
    beginResetModel();
    count_ = 0;
    endResetModel();
}

void Roster::reset()
{
    beginResetModel();
    for (ContestantRecord &slot : model_.contestants) {
        slot.CharacterFile.clear();
        slot.PlayerName.clear();
        slot.Uin.clear();
        slot.Address.clear();
        slot.Progress = 0;
        slot.LastX = 0;
        slot.Score = 0;
        slot.Confirmed = SlotUnconfirmed;
        slot.QuestionNumber = 1;
    }
    count_ = 0;
    endResetModel();
}

std::optional<int> Roster::append(const ContestantItemFields &fields)
{
    if (count_ >= MaxContestants)
        return std::nullopt;
    const int slot = count_;
    beginInsertRows(QModelIndex(), slot, slot);
    ContestantRecord &record = model_.contestants[slot];
    record.Uin = fieldText(fields.Uin, ContestantUinCapacity);
    record.PlayerName = fieldText(fields.PlayerName, ContestantNameCapacity);
    record.CharacterFile = fieldText(fields.CharacterFile, ContestantFileCapacity);
    record.Confirmed = SlotUnconfirmed;
    ++count_;
    endInsertRows();
    return slot;
}

std::optional<int> Roster::add(const QString &name, const QString &uin, const QString &characterFile)
{
    if (count_ >= MaxContestants)
        return std::nullopt;
    QString file = characterFile;
    if (hasCharacter(file) || !FileExists(characterFolder() + file))
        file = NameOfPath(randomFreeCharacter());
    return append({uin, ShownName(name), file});
}

void Roster::setSlotState(int slot, SlotState state)
{
    if (slot < 0 || slot >= MaxContestants || model_.contestants[slot].Confirmed == state)
        return;
    model_.contestants[slot].Confirmed = state;
    if (slot < count_)
        emit dataChanged(index(slot), index(slot), {SlotStateRole});
}

void Roster::setAddress(int slot, const QString &address)
{
    if (slot >= 0 && slot < MaxContestants)
        model_.contestants[slot].Address = address.left(ContestantAddressCapacity);
}

void TellRosterFull(Dialogs &dialogs)
{
    dialogs.beep(BeepKind::Stop);
    dialogs.show(BoxKind::Error, QStringLiteral("We have the maximum number of Contestants."));
}

int Roster::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count_;
}

QVariant Roster::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count_)
        return {};
    const ContestantRecord &record = model_.contestants[index.row()];
    switch (role) {
    case Qt::DisplayRole: return itemText(index.row());
    case UinRole: return record.Uin;
    case NameRole: return record.PlayerName;
    case CharacterFileRole: return record.CharacterFile;
    case SlotStateRole: return int(record.Confirmed);
    default: return {};
    }
}

ContestantItemFields Roster::fields(int slot) const
{
    if (slot < 0 || slot >= count_)
        return {};
    const ContestantRecord &record = model_.contestants[slot];
    return {record.Uin, record.PlayerName, record.CharacterFile};
}

QString Roster::itemText(int slot) const
{
    const ContestantItemFields item = fields(slot);
    return item.Uin + u'\t' + item.PlayerName + u'\t' + item.CharacterFile;
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

bool Roster::hasCharacter(const QString &characterFile) const
{
    for (int slot = 0; slot < count_; ++slot)
        if (model_.contestants[slot].CharacterFile.compare(characterFile, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool Roster::hasUin(const QString &uin) const
{
    for (int slot = 0; slot < count_; ++slot)
        if (model_.contestants[slot].Uin == uin)
            return true;
    return false;
}

QString Roster::randomFreeCharacter()
{
    // Find out first whether any file is free at all, so that the draws below can end.
    const QDir folder(NativePath(characterFolder()));
    QStringList free;
    for (const QString &name : folder.entryList({QStringLiteral("*.acs")}, QDir::Files, QDir::Name))
        if (!name.toLower().contains(QStringLiteral("random")) && !characterTaken(model_, count_, characterFolder() + name))
            free.append(name);
    if (free.isEmpty())
        return QString();
    for (int draw = 0; draw < MaxCharacterDraws; ++draw) {
        const QString candidate = characterFolder() + RandomCharacterFile(random_);
        if (!characterTaken(model_, count_, candidate) && FileExists(candidate))
            return candidate;
    }
    return characterFolder() + free.at(random_.below(int(free.size())));
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
