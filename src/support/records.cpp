#include "records.h"

#include "scramble_keys.h"
#include "Utilities.h"

namespace Records {

OptionsRecord Options;

QString ReadShortString(const QByteArray &record, int offset, int capacity)
{
    if (offset < 0 || offset >= record.size())
        return QString();
    int length = static_cast<quint8>(record[offset]);
    length = std::min({length, capacity, static_cast<int>(record.size()) - offset - 1});
    return FromBytes(record.mid(offset + 1, length));
}

void WriteShortString(QByteArray &record, int offset, int capacity, const QString &text)
{
    const QByteArray bytes = ToBytes(text).left(std::min(capacity, 255));
    if (record.size() < offset + 1 + capacity)
        record.resize(offset + 1 + capacity, '\0');
    record[offset] = static_cast<char>(bytes.size());
    for (int i = 0; i < capacity; ++i)
        record[offset + 1 + i] = i < bytes.size() ? bytes[i] : '\0';
}

qint32 ReadInt32(const QByteArray &record, int offset)
{
    if (offset < 0 || offset + 4 > record.size())
        return 0;
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<quint8>(record[offset + i]);
    return static_cast<qint32>(value);
}

void WriteInt32(QByteArray &record, int offset, qint32 value)
{
    if (record.size() < offset + 4)
        record.resize(offset + 4, '\0');
    const auto bits = static_cast<quint32>(value);
    for (int i = 0; i < 4; ++i)
        record[offset + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

QList<QByteArray> ReadAllRecords(QIODevice &device, int recordSize)
{
    QList<QByteArray> records;
    for (;;) {
        const QByteArray record = device.read(recordSize);
        if (record.size() < recordSize)
            break;
        records.append(record);
    }
    return records;
}

OptionsRecord DecodeOptions(const QByteArray &bytes)
{
    using namespace OptionsLayout;
    QByteArray raw = bytes.left(Size);
    raw.resize(Size, '\0');
    OptionsRecord options;
    QString userName = ReadShortString(raw, UserName, UserNameCapacity);
    QString displayName = ReadShortString(raw, DisplayName, DisplayNameCapacity);
    if (displayName.isEmpty())
        displayName = userName.left(DisplayNameCapacity);
    options.UserName = ShiftText(userName, ScrambleKeys::OptionsNameA, ShiftDirection::Up).left(UserNameCapacity);
    options.DisplayName = ShiftText(displayName, ScrambleKeys::OptionsNameA, ShiftDirection::Up).left(DisplayNameCapacity);
    options.SpokenName = ShiftText(ReadShortString(raw, SpokenName, SpokenNameCapacity),
                                   ScrambleKeys::OptionsSpokenB, ShiftDirection::Up);
    options.UserCharacterFile = ReadShortString(raw, UserCharacterFile, UserCharacterFileCapacity);
    options.UserUin = ReadInt32(raw, UserUin);
    options.LanguageSuffix = ReadShortString(raw, LanguageSuffix, LanguageSuffixCapacity);
    return options;
}

QByteArray EncodeOptions(const OptionsRecord &options)
{
    using namespace OptionsLayout;
    QByteArray raw(Size, '\0');
    auto scrambled = [](const QString &text, int capacity, quint8 key) {
        return ShiftText(text.left(capacity), key, ShiftDirection::Down);
    };
    WriteShortString(raw, UserName, UserNameCapacity, scrambled(options.UserName, UserNameCapacity, ScrambleKeys::OptionsNameA));
    WriteShortString(raw, UserCharacterFile, UserCharacterFileCapacity, options.UserCharacterFile);
    WriteInt32(raw, UserUin, options.UserUin);
    WriteShortString(raw, DisplayName, DisplayNameCapacity,
                     scrambled(options.DisplayName, DisplayNameCapacity, ScrambleKeys::OptionsNameA));
    WriteShortString(raw, SpokenName, SpokenNameCapacity,
                     scrambled(options.SpokenName, SpokenNameCapacity, ScrambleKeys::OptionsSpokenB));
    WriteShortString(raw, LanguageSuffix, LanguageSuffixCapacity, options.LanguageSuffix);
    return raw;
}

OnlineBuddyRecord OnlineBuddyRecord::decode(const QByteArray &bytes)
{
    return {ReadShortString(bytes, 0, 15), ReadShortString(bytes, 16, 15), ReadShortString(bytes, 32, 35)};
}

QByteArray OnlineBuddyRecord::encode() const
{
    QByteArray raw(Size, '\0');
    WriteShortString(raw, 0, 15, Address);
    WriteShortString(raw, 16, 15, Uin);
    WriteShortString(raw, 32, 35, BuddyName);
    return raw;
}

CheckedUserRecord CheckedUserRecord::decode(const QByteArray &bytes)
{
    CheckedUserRecord record;
    record.Uin = ReadShortString(bytes, 0, 12);
    record.Checked = bytes.size() > 13 ? static_cast<quint8>(bytes[13]) : 0;
    return record;
}

QByteArray CheckedUserRecord::encode() const
{
    QByteArray raw(Size, '\0');
    WriteShortString(raw, 0, 12, Uin);
    raw[13] = static_cast<char>(Checked);
    return raw;
}

UinAddressRecord UinAddressRecord::decode(const QByteArray &bytes)
{
    return {ReadInt32(bytes, 0), ReadShortString(bytes, 4, 43)};
}

QByteArray UinAddressRecord::encode() const
{
    QByteArray raw(Size, '\0');
    WriteInt32(raw, 0, Uin);
    WriteShortString(raw, 4, 43, Address);
    return raw;
}

QuestionRecord QuestionRecord::decode(const QByteArray &bytes)
{
    return {ReadShortString(bytes, 0, 2), ReadShortString(bytes, 3, 255)};
}

QByteArray QuestionRecord::encode() const
{
    QByteArray raw(Size, '\0');
    WriteShortString(raw, 0, 2, Code);
    WriteShortString(raw, 3, 255, Text);
    return raw;
}

} // namespace Records
