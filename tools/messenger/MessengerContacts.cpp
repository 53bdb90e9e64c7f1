#include "MessengerContacts.h"

#include "Utilities.h"
#include "records.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

// Bounds on what is read back: a contact list or list file larger than this is cut.
constexpr qint64 MaxListBytes = 1 << 20;
constexpr int MaxContactFields = 6;

QByteArray readBounded(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(MaxListBytes);
}

QList<QByteArray> recordsOf(const QByteArray &bytes, int size)
{
    QList<QByteArray> records;
    for (qsizetype at = 0; at + size <= bytes.size(); at += size)
        records.append(bytes.mid(at, size));
    return records;
}

// A folder made before contacts.txt: the game's files hold the contacts init was given.
QList<BuddySetting> contactsFromGameFiles(const QString &games)
{
    QHash<QString, QString> names;
    QHash<QString, bool> hidden;
    for (const QByteArray &line : readBounded(games + QStringLiteral("/online.txt")).split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split('\t');
        if (fields.size() >= 2) {
            names.insert(FromBytes(fields[1]), FromBytes(fields[0]));
            hidden.insert(FromBytes(fields[1]), fields.size() >= 5 && fields[4] == "=");
        }
    }
    QHash<qint32, QString> addresses;
    const QByteArray addressBytes = readBounded(games + QStringLiteral("/UINIP.lst"));
    for (const QByteArray &raw : recordsOf(addressBytes, Records::UinAddressRecord::Size)) {
        const auto record = Records::UinAddressRecord::decode(raw);
        addresses.insert(record.Uin, record.Address);
    }
    QList<BuddySetting> contacts;
    const QByteArray checkedBytes = readBounded(games + QStringLiteral("/checkedusr.lst"));
    for (const QByteArray &raw : recordsOf(checkedBytes, Records::CheckedUserRecord::Size)) {
        const auto record = Records::CheckedUserRecord::decode(raw);
        BuddySetting contact;
        contact.uin = record.Uin;
        contact.name = names.value(record.Uin, record.Uin);
        contact.address = addresses.value(record.Uin.toInt());
        contact.checked = record.Checked != 0;
        contact.online = !hidden.value(record.Uin);
        contacts.append(contact);
    }
    return contacts;
}

} // namespace

bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString PlainText(const QString &text)
{
    QString plain = text;
    for (QChar &c : plain) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u'?';
    }
    return plain;
}

ContactFiles EncodeContactFiles(const QList<BuddySetting> &contacts)
{
    ContactFiles files;
    for (const BuddySetting &contact : contacts) {
        // online.txt: name, UIN, two fields the game does not use, and a status field.
        files.online += ToBytes(contact.name + u'\t' + contact.uin
                                + (contact.online ? QStringLiteral("\tonline\t\t+") : QStringLiteral("\toffline\t\t=")))
                        + "\r\n";
        files.checked += Records::CheckedUserRecord{contact.uin, static_cast<quint8>(contact.checked ? 1 : 0)}.encode();
        if (!contact.address.isEmpty())
            files.addresses += Records::UinAddressRecord{contact.uin.toInt(), contact.address}.encode();
    }
    return files;
}

QByteArray EncodeContactList(const QList<BuddySetting> &contacts)
{
    QByteArray text;
    for (const BuddySetting &contact : contacts) {
        const QStringList fields = {contact.uin,
                                    contact.name,
                                    contact.address,
                                    contact.foundOnLan        ? QStringLiteral("lan")
                                    : contact.foundOnInternet ? QStringLiteral("internet")
                                                              : QStringLiteral("hand"),
                                    contact.checked ? QStringLiteral("checked") : QStringLiteral("unchecked"),
                                    contact.online ? QStringLiteral("online") : QStringLiteral("offline")};
        text += ToBytes(fields.join(u'\t')) + '\n';
    }
    return text;
}

QList<BuddySetting> LoadContacts(const QString &root)
{
    const QString path = root + u'/' + ContactListFile;
    if (!QFileInfo::exists(path))
        return contactsFromGameFiles(root + QStringLiteral("/Games"));
    QList<BuddySetting> contacts;
    for (const QByteArray &line : readBounded(path).split('\n')) {
        const QStringList fields = FromBytes(line).split(u'\t');
        if (fields.size() != MaxContactFields || fields[0].isEmpty() || fields[1].isEmpty())
            continue;
        BuddySetting contact;
        contact.uin = fields[0];
        contact.name = fields[1];
        contact.address = fields[2];
        contact.foundOnLan = fields[3] == QLatin1String("lan");
        contact.foundOnInternet = fields[3] == QLatin1String("internet");
        contact.checked = fields[4] != QLatin1String("unchecked");
        contact.online = fields[5] != QLatin1String("offline");
        contacts.append(contact);
    }
    return contacts;
}

bool SaveContacts(const QString &root, const QList<BuddySetting> &contacts, QString &error)
{
    const QString games = root + QStringLiteral("/Games/");
    const ContactFiles files = EncodeContactFiles(contacts);
    return WriteWholeFile(root + u'/' + ContactListFile, EncodeContactList(contacts), error)
           && WriteWholeFile(games + QStringLiteral("checkedusr.lst"), files.checked, error)
           && WriteWholeFile(games + QStringLiteral("UINIP.lst"), files.addresses, error)
           && WriteWholeFile(games + QStringLiteral("online.txt"), files.online, error);
}

QString ParseAnnouncement(const QList<QByteArray> &strings, Announcement &announcement)
{
    qsizetype size = 0;
    for (const QByteArray &string : strings)
        size += string.size() + 1;
    if (size > MaxAnnouncementBytes)
        return QStringLiteral("its TXT record is too long (%1 bytes, at most %2)").arg(size).arg(MaxAnnouncementBytes);
    QByteArray uin, name;
    bool haveUin = false, haveName = false;
    for (const QByteArray &string : strings) {
        const qsizetype equals = string.indexOf('=');
        const QByteArray key = string.left(equals);
        QByteArray *target = key == "uin" ? &uin : key == "name" ? &name : nullptr;
        bool *seen = key == "uin" ? &haveUin : &haveName;
        if (!target || equals < 0)
            continue;   // other keys are for later versions
        if (*seen)
            return QStringLiteral("its TXT record names \"%1\" twice").arg(QString::fromLatin1(key));
        *seen = true;
        *target = string.mid(equals + 1);
    }
    if (!haveUin || !haveName)
        return QStringLiteral("its TXT record lacks the UIN or the name");
    bool ok = false;
    const qint64 number = uin.toLongLong(&ok);
    const bool digitsOnly = std::all_of(uin.cbegin(), uin.cend(), [](char c) { return c >= '0' && c <= '9'; });
    if (!ok || !digitsOnly || uin.size() > 10 || number <= 0 || number > std::numeric_limits<qint32>::max())
        return QStringLiteral("its UIN is not a number of 1 to 10 digits");
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(name);
    if (decoder.hasError())
        return QStringLiteral("its name is not UTF-8 text");
    if (text.isEmpty() || text.size() > MaxAnnouncedName)
        return QStringLiteral("its name must be 1 to %1 characters").arg(MaxAnnouncedName);
    if (PlainText(text) != text)
        return QStringLiteral("its name holds a control character (a TAB or line break)");
    announcement.uin = QString::fromLatin1(uin);
    announcement.name = text;
    return QString();
}

QList<QByteArray> AnnouncementStrings(const Announcement &announcement)
{
    return {"uin=" + announcement.uin.toLatin1(), "name=" + announcement.name.toUtf8()};
}
