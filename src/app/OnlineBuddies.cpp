// The "Online Buddys" list: built once from the messenger's online.txt, through
// onlinelist.lst, which "Invite Players" reads later.
#include "RosterList.h"

#include "DataFiles.h"
#include "records.h"
#include "Utilities.h"

#include <QFile>
#include <QListWidget>
#include <QPointer>

namespace {

constexpr int OnlineItemCapacity = 52;

struct OnlineLine {
    QString BuddyName, Uin, Third, Fourth, Fifth;
};

// Fields are separated by TABs; the text after each of the first three TABs is cut to
// 200 characters and the fifth field to 20. A field whose TAB is missing stays empty.
OnlineLine splitOnlineLine(const QString &line)
{
    OnlineLine fields;
    QString *targets[] = {&fields.BuddyName, &fields.Uin, &fields.Third, &fields.Fourth};
    QString rest = line;
    for (int i = 0; i < 4; ++i) {
        const qsizetype tab = rest.indexOf(u'\t');
        if (tab < 0) {
            *targets[i] = rest;
            return fields;
        }
        *targets[i] = rest.left(tab);
        rest = rest.mid(tab + 1, i < 3 ? 200 : 20);
    }
    fields.Fifth = rest;
    return fields;
}

} // namespace

Task<> BuildOnlineBuddies(QListWidget *buddies)
{
    const QPointer<QListWidget> shown(buddies);   // the list may go while the files are waited for
    if (!shown)
        co_return;
    const QString listPath = ProgramFolder() + GameFile::OnlineList;
    QFile online;
    const bool onlineOpened = co_await OpenTextFileWhenFree(ProgramFolder() + GameFile::OnlineText, QStringLiteral("R"), online);
    if (!onlineOpened)
        co_return;
    {
        QFile list;
        if (!OpenDataFile(listPath, QStringLiteral("W"), list, Records::OnlineBuddyRecord::Size))
            co_return;
        while (!online.atEnd()) {
            const qint64 before = online.pos();
            const QString line = ReadTextLine(online);
            if (online.pos() == before)
                break;
            const OnlineLine fields = splitOnlineLine(line);
            if (fields.Uin.isEmpty() || fields.Fifth == QLatin1String("="))
                continue;
            const int checked = co_await LookupCheckedUserWhenFree(fields.Uin);
            if (checked == 0)
                continue;
            Records::OnlineBuddyRecord record;
            record.Uin = fields.Uin.left(15);
            record.BuddyName = fields.BuddyName.left(35);
            record.Address = co_await LookupUinAddressWhenFree(fields.Uin);
            if (!record.Address.isEmpty())
                list.write(record.encode());
        }
        list.close();
    }
    online.close();
    DeleteGameFile(ProgramFolder() + GameFile::OnlineText);
    if (!shown)
        co_return;   // the waits for the messenger's lists outlived the window

    shown->clear();
    QFile list;
    if (!OpenDataFile(listPath, QStringLiteral("RO"), list, Records::OnlineBuddyRecord::Size))
        co_return;
    for (const QByteArray &raw : Records::ReadAllRecords(list, Records::OnlineBuddyRecord::Size)) {
        const Records::OnlineBuddyRecord record = Records::OnlineBuddyRecord::decode(raw);
        auto *item = new QListWidgetItem((record.Uin + QStringLiteral("  ") + record.BuddyName).left(OnlineItemCapacity));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        shown->addItem(item);
    }
}

bool BuddyChecked(const QListWidget *buddies, const QString &uin)
{
    if (!buddies || uin.isEmpty())
        return false;
    for (int i = 0; i < buddies->count(); ++i) {
        const QListWidgetItem *item = buddies->item(i);
        // An item reads UIN, two spaces, name: the UIN is its first word, matched whole.
        if (item->checkState() == Qt::Checked && item->text().section(u' ', 0, 0) == uin)
            return true;
    }
    return false;
}
