// The "Online Buddys" list: built from the messenger's online.txt, through
// onlinelist.lst, which "Invite Players" reads later; built again whenever the messenger
// writes online.txt anew.
#include "OnlineBuddies.h"
#include "RosterList.h"

#include "DataFiles.h"
#include "InviteList.h"
#include "records.h"
#include "Utilities.h"

#include <QFile>

#include <sys/stat.h>

namespace {

// What online.txt may cost: the messenger lists at most 200 contacts, each line well
// under 1 KB. A larger file is refused whole, and only so many lines are looked at.
constexpr qint64 MaxOnlineTextBytes = 256 * 1024;
constexpr int MaxOnlineLines = 256;
// The quiet after the folder's last change before the list is built again (ms of game time).
constexpr int QuietMs = 200;

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

// Whether path still names the file that is open (the messenger may have renamed a new
// one over it meanwhile).
bool stillNamed(const QFile &open, const QString &path)
{
    struct stat read {}, named {};
    return ::fstat(open.handle(), &read) == 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0
           && read.st_dev == named.st_dev && read.st_ino == named.st_ino;
}

} // namespace

Task<> BuildOnlineBuddies(InviteList &buddies)
{
    const QString listPath = ProgramFolder() + GameFile::OnlineList;
    QFile online;
    const bool onlineOpened = co_await OpenTextFileWhenFree(ProgramFolder() + GameFile::OnlineText, QStringLiteral("R"), online);
    if (!onlineOpened)
        co_return;
    const QString onlinePath = NativePath(ProgramFolder() + GameFile::OnlineText);
    if (online.size() > MaxOnlineTextBytes) {
        if (stillNamed(online, onlinePath))
            QFile::remove(onlinePath);
        co_return;
    }
    {
        QFile list;
        if (!OpenDataFile(listPath, QStringLiteral("W"), list, Records::OnlineBuddyRecord::Size))
            co_return;
        for (int lines = 0; lines < MaxOnlineLines && !online.atEnd(); ++lines) {
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
    // Read: it goes, unless a newer one has taken its name (which the next build reads).
    if (stillNamed(online, onlinePath))
        QFile::remove(onlinePath);
    online.close();
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

OnlineBuddiesWatch::OnlineBuddiesWatch(InviteList &buddies) : list(buddies)
{
    quiet.setSingleShot(true);
    quiet.setInterval(ScaledInterval(QuietMs));
    connect(&folder, &QFileSystemWatcher::directoryChanged, &quiet, qOverload<>(&QTimer::start));
    connect(&quiet, &QTimer::timeout, this, [this] { Launch(rebuild()); });
}

void OnlineBuddiesWatch::start()
{
    folder.addPath(NativePath(ProgramFolder()));
    Launch(rebuild());
}

Task<> OnlineBuddiesWatch::rebuild()
{
    if (building) {
        again = true;
        co_return;
    }
    const QPointer<OnlineBuddiesWatch> alive(this);
    building = true;
    do {
        again = false;
        co_await BuildOnlineBuddies(list);
    } while (alive && again);
    if (alive)
        building = false;
}
