#include "InviteList.h"

#include <QSet>

#include <algorithm>

namespace {
constexpr int ItemCapacity = 52;
} // namespace

void InviteList::setBuddies(const QList<InvitableBuddy> &buddies)
{
    // The user's own choices stay: a buddy unchecked before stays unchecked.
    QSet<QString> unchecked;
    for (const Row &row : std::as_const(rows)) {
        if (!row.checked)
            unchecked.insert(row.buddy.uin);
    }
    beginResetModel();
    rows.clear();
    for (const InvitableBuddy &buddy : buddies)
        rows.append({buddy, (buddy.uin + QStringLiteral("  ") + buddy.name).left(ItemCapacity), !unchecked.contains(buddy.uin)});
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.text < b.text; });
    endResetModel();
}

bool InviteList::checked(const QString &uin) const
{
    if (uin.isEmpty())
        return false;
    return std::any_of(rows.begin(), rows.end(), [&uin](const Row &row) { return row.checked && row.buddy.uin == uin; });
}

void InviteList::setChecked(int row, bool on)
{
    if (row < 0 || row >= rows.size() || rows[row].checked == on)
        return;
    rows[row].checked = on;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

int InviteList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

QVariant InviteList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size())
        return {};
    const Row &row = rows[index.row()];
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return row.text;
    if (role == Qt::CheckStateRole)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool InviteList::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= rows.size() || role != Qt::CheckStateRole)
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags InviteList::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}
