// The "Online Buddys" list: built once from the messenger's online.txt, through
// onlinelist.lst, which "Invite Players" reads later.
#include "RosterList.h"

#include "DataFiles.h"
#include "InviteList.h"
#include "records.h"
#include "Utilities.h"

#include <QFile>

namespace {

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

Task<> BuildOnlineBuddies(InviteList &buddies)
{
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

    QFile list;
    if (!OpenDataFile(listPath, QStringLiteral("RO"), list, Records::OnlineBuddyRecord::Size))
        co_return;
    QList<InvitableBuddy> read;
    for (const QByteArray &raw : Records::ReadAllRecords(list, Records::OnlineBuddyRecord::Size)) {
        const Records::OnlineBuddyRecord record = Records::OnlineBuddyRecord::decode(raw);
        read.append({record.Uin, record.BuddyName});
    }
    buddies.setBuddies(read);
}
