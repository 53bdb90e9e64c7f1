// Adding contestants to the roster and finding free characters.
#include "Roster.h"

#include "CharacterFiles.h"
#include "GameSession.h"
#include "RaceModel.h"
#include "records.h"
#include "Utilities.h"

#include <QDir>

#include <algorithm>

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

bool characterTaken(const QString &candidatePath)
{
    if (candidatePath == Records::Options.UserCharacterFile)
        return true;
    for (int slot = 0; slot < Model().contestantCount; ++slot)
        if (candidatePath == characterFolder() + Model().contestants[slot].CharacterFile)
            return true;
    return false;
}

} // namespace

int ContestantCount()
{
    return Model().contestantCount;
}

QString PlayerIdentity(int slot)
{
    return QStringLiteral("Player") + QString::number(slot);
}

void RosterChanged()
{
    emit GameSession::current().rosterChanged();
}

void ClearRoster()
{
    Model().contestantCount = 0;
    RosterChanged();
}

std::optional<int> AppendContestant(const ContestantItemFields &fields)
{
    if (Model().contestantCount >= MaxContestants)
        return std::nullopt;
    const int slot = Model().contestantCount++;
    ContestantRecord &record = Model().contestants[slot];
    record.Uin = fieldText(fields.Uin, ContestantUinCapacity);
    record.PlayerName = fieldText(fields.PlayerName, ContestantNameCapacity);
    record.CharacterFile = fieldText(fields.CharacterFile, ContestantFileCapacity);
    record.Confirmed = SlotUnconfirmed;
    RosterChanged();
    return slot;
}

std::optional<int> AddContestant(const QString &name, const QString &uin, const QString &characterFile)
{
    QString file = characterFile;
    if (CharacterInRoster(file))
        file = NameOfPath(RandomFreeCharacter());
    if (Model().contestantCount >= MaxContestants) {
        GameDialogs().beep(BeepKind::Stop);
        GameDialogs().show(BoxKind::Error, QStringLiteral("We have the maximum number of Contestants."));
        return std::nullopt;
    }
    if (!FileExists(characterFolder() + file))
        file = NameOfPath(RandomFreeCharacter());
    return AppendContestant({uin, ShownName(name), file});
}

ContestantItemFields ContestantFields(int slot)
{
    if (slot < 0 || slot >= Model().contestantCount)
        return {};
    const ContestantRecord &record = Model().contestants[slot];
    return {record.Uin, record.PlayerName, record.CharacterFile};
}

QString ContestantItemText(int slot)
{
    const ContestantItemFields fields = ContestantFields(slot);
    return fields.Uin + u'\t' + fields.PlayerName + u'\t' + fields.CharacterFile;
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
    for (int slot = 0; slot < Model().contestantCount; ++slot)
        if (Model().contestants[slot].CharacterFile.compare(characterFile, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool UinInRoster(const QString &uin)
{
    for (int slot = 0; slot < Model().contestantCount; ++slot)
        if (Model().contestants[slot].Uin == uin)
            return true;
    return false;
}

QString RandomFreeCharacter()
{
    // Find out first whether any file is free at all, so that the draws below can end.
    const QDir folder(NativePath(characterFolder()));
    QStringList free;
    for (const QString &name : folder.entryList({QStringLiteral("*.acs")}, QDir::Files, QDir::Name))
        if (!name.toLower().contains(QStringLiteral("random")) && !characterTaken(characterFolder() + name))
            free.append(name);
    if (free.isEmpty())
        return QString();
    for (int draw = 0; draw < MaxCharacterDraws; ++draw) {
        const QString candidate = characterFolder() + RandomCharacterFile();
        if (!characterTaken(candidate) && FileExists(candidate))
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

void ResetContestantTable()
{
    for (ContestantRecord &slot : Model().contestants) {
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
    ClearRoster();
}
