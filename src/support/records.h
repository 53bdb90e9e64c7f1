// Fixed-size record layouts of the messenger's files and of the question file, defined
// once for every reader and writer (the game and the stand-in messenger). Texts are
// length-prefixed: one length byte, then the characters, then unused bytes up to the
// field's size. Writers cut a text to its capacity; readers clamp a length byte that is
// larger than its field. Integers are little-endian.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

namespace Records {

QString ReadShortString(const QByteArray &record, int offset, int capacity);
void WriteShortString(QByteArray &record, int offset, int capacity, const QString &text);
qint32 ReadInt32(const QByteArray &record, int offset);
void WriteInt32(QByteArray &record, int offset, qint32 value);

// Reads whole records of the given size to the end of the device; a trailing partial
// record is ignored.
QList<QByteArray> ReadAllRecords(QIODevice &device, int recordSize);

// hollyfro.opt: one record of 26392 bytes.
namespace OptionsLayout {
constexpr int Size = 26392;
constexpr int UserName = 0, UserNameCapacity = 20;
constexpr int UserCharacterFile = 180, UserCharacterFileCapacity = 255;
constexpr int UserUin = 25376;
constexpr int DisplayName = 26116, DisplayNameCapacity = 100;
constexpr int SpokenName = 26217, SpokenNameCapacity = 100;
constexpr int LanguageSuffix = 26318, LanguageSuffixCapacity = 73;
} // namespace OptionsLayout

struct OptionsRecord {
    QString UserName;
    QString UserCharacterFile;
    qint32 UserUin = 0;
    QString DisplayName;
    QString SpokenName;
    QString LanguageSuffix;
};

// The user's options, read from hollyfro.opt when the main window is shown and read-only
// afterwards; every part of the game reads it directly.
extern OptionsRecord Options;

// Decodes the bytes read from the start of the options file (fewer than a whole record
// leave the rest at its defaults): an empty display name takes the user's name, still
// scrambled, and then the names are unscrambled.
OptionsRecord DecodeOptions(const QByteArray &bytes);
// Builds the whole record with the names scrambled, as the messenger writes it.
QByteArray EncodeOptions(const OptionsRecord &options);

// onlinelist.lst
struct OnlineBuddyRecord {
    static constexpr int Size = 68;
    QString Address;    // 0, 16 bytes
    QString Uin;        // 16, 16 bytes
    QString BuddyName;  // 32, 36 bytes
    static OnlineBuddyRecord decode(const QByteArray &bytes);
    QByteArray encode() const;
};

// checkedusr.lst
struct CheckedUserRecord {
    static constexpr int Size = 24;
    QString Uin;          // 0, 13 bytes
    quint8 Checked = 0;   // 13
    static CheckedUserRecord decode(const QByteArray &bytes);
    QByteArray encode() const;
};

// UINIP.lst
struct UinAddressRecord {
    static constexpr int Size = 48;
    qint32 Uin = 0;       // 0, 4 bytes
    QString Address;      // 4, 44 bytes
    static UinAddressRecord decode(const QByteArray &bytes);
    QByteArray encode() const;
};

// questions.fil
struct QuestionRecord {
    static constexpr int Size = 259;
    QString Code;  // 0, 3 bytes
    QString Text;  // 3, 256 bytes
    static QuestionRecord decode(const QByteArray &bytes);
    QByteArray encode() const;
};

} // namespace Records
