#include "LanContacts.h"

LanContacts::LanContacts(const QString &root, const QString &ownUin, std::function<void(const QString &)> say)
    : root(root), ownUin(ownUin), say(std::move(say))
{
}

void LanContacts::start()
{
    contacts = LoadContacts(root);
    // Friends on the internet are listed again once their presence is seen.
    for (BuddySetting &candidate : contacts)
        candidate.online = candidate.online && !candidate.foundOnInternet;
    allGone();
}

BuddySetting *LanContacts::contact(const QString &uin)
{
    for (BuddySetting &candidate : contacts) {
        if (candidate.uin == uin)
            return &candidate;
    }
    return nullptr;
}

void LanContacts::save()
{
    QString error;
    if (!SaveContacts(root, contacts, error))
        say(error);
}

void LanContacts::found(const LanService &service)
{
    Announcement announcement;
    const QString problem = ParseAnnouncement(service.txt, announcement);
    const QString who = QStringLiteral("\"%1\" at %2").arg(service.serviceName, service.address);
    if (!problem.isEmpty()) {
        say(QStringLiteral("ignored %1 on the LAN: %2").arg(who, problem));
        return;
    }
    if (announcement.uin == ownUin) {
        say(QStringLiteral("ignored %1 on the LAN: it announces our own UIN %2").arg(who, ownUin));
        return;
    }
    for (auto it = uinOfService.cbegin(); it != uinOfService.cend(); ++it) {
        // The same player on a second interface is the same service name; another name is a clash.
        if (it.value() == announcement.uin && it.key() != service.key && nameOfService.value(it.key()) != service.serviceName) {
            say(QStringLiteral("ignored %1 on the LAN: UIN %2 is already announced by \"%3\"")
                    .arg(who, announcement.uin, nameOfService.value(it.key())));
            return;
        }
    }
    BuddySetting *known = contact(announcement.uin);
    if (known && !known->foundOnLan && !known->foundOnInternet) {
        say(QStringLiteral("%1 on the LAN announces UIN %2, a contact set by hand: it stays as set")
                .arg(who, announcement.uin));
        return;
    }
    if (!known) {
        if (std::count_if(contacts.cbegin(), contacts.cend(), [](const BuddySetting &c) { return c.foundOnLan; })
            >= MaxLanContacts) {
            say(QStringLiteral("ignored %1 on the LAN: %2 players found there already").arg(who).arg(MaxLanContacts));
            return;
        }
        contacts.append(BuddySetting{announcement.uin, announcement.name, QString(), true, false, true});
        known = &contacts.last();
    }
    uinOfService.insert(service.key, announcement.uin);
    nameOfService.insert(service.key, service.serviceName);
    if (known->online && known->name == announcement.name && known->address == service.address)
        return;
    // A friend also online on the internet is reached directly on the LAN.
    known->foundOnLan = true;
    known->foundOnInternet = false;
    known->name = announcement.name;
    known->address = service.address;
    known->online = true;
    save();
}

void LanContacts::gone(const QString &key)
{
    const QString uin = uinOfService.take(key);
    nameOfService.remove(key);
    if (uin.isEmpty() || std::find(uinOfService.cbegin(), uinOfService.cend(), uin) != uinOfService.cend())
        return;
    if (BuddySetting *known = contact(uin); known && known->online) {
        known->online = false;
        save();
    }
}

void LanContacts::allGone()
{
    uinOfService.clear();
    nameOfService.clear();
    for (BuddySetting &candidate : contacts) {
        if (candidate.foundOnLan)
            candidate.online = false;
    }
    save();
}
