#include "records.h"
#include "scramble_keys.h"
#include "Utilities.h"

#include <QBuffer>
#include <QTest>

using namespace Records;

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void shortStringsAreCutAndClamped();
    void optionsLayoutAndScrambling();
    void shortOptionsFileFillsWhatItCovers();
    void emptyDisplayNameTakesUserName();
    void listRecordsRoundTrip();
    void trailingPartialRecordIsIgnored();
};

void TestRecords::shortStringsAreCutAndClamped()
{
    QByteArray record(16, 'z');
    WriteShortString(record, 0, 15, "a very long address text");
    QCOMPARE(static_cast<int>(record[0]), 15);
    QCOMPARE(ReadShortString(record, 0, 15), QString("a very long add"));
    record[0] = char(250);   // longer than the field: clamped to it
    QCOMPARE(ReadShortString(record, 0, 15), QString("a very long add"));
    QCOMPARE(ReadShortString(record.left(4), 0, 15), QString("a v"));   // and to the data present
    QCOMPARE(ReadShortString(QByteArray(), 0, 15), QString());
    WriteShortString(record, 0, 15, "ab");
    QCOMPARE(record.mid(1, 4), QByteArray("ab\0\0", 4));   // unused bytes are zeroed
}

void TestRecords::optionsLayoutAndScrambling()
{
    OptionsRecord options;
    options.UserName = "Robin";
    options.UserCharacterFile = "C:\\Windows\\msagent\\chars\\Pip.acs";
    options.UserUin = 40001;
    options.DisplayName = "Robin H.";
    options.SpokenName = "Robbin";
    options.LanguageSuffix = "-de";
    const QByteArray raw = EncodeOptions(options);
    QCOMPARE(raw.size(), 26392);
    // The names are stored shifted down; the file holds no plain copy of them.
    QCOMPARE(static_cast<int>(raw[0]), 5);
    QCOMPARE(raw.mid(1, 5), ShiftText(QByteArray("Robin"), ScrambleKeys::OptionsNameA, ShiftDirection::Down));
    QCOMPARE(raw.mid(0x6669 + 1, 6), ShiftText(QByteArray("Robbin"), ScrambleKeys::OptionsSpokenB, ShiftDirection::Down));
    QCOMPARE(raw.mid(0xB4 + 1, 3), QByteArray("C:\\"));
    QCOMPARE(ReadInt32(raw, 0x6320), 40001);
    QCOMPARE(raw.mid(0x66CE, 4), QByteArray("\x03-de"));
    const OptionsRecord back = DecodeOptions(raw);
    QCOMPARE(back.UserName, options.UserName);
    QCOMPARE(back.UserCharacterFile, options.UserCharacterFile);
    QCOMPARE(back.UserUin, options.UserUin);
    QCOMPARE(back.DisplayName, options.DisplayName);
    QCOMPARE(back.SpokenName, options.SpokenName);
    QCOMPARE(back.LanguageSuffix, options.LanguageSuffix);
    // A negative UIN survives the signed 32-bit field.
    options.UserUin = -12;
    QCOMPARE(DecodeOptions(EncodeOptions(options)).UserUin, -12);
}

void TestRecords::shortOptionsFileFillsWhatItCovers()
{
    OptionsRecord options;
    options.UserName = "Sam";
    options.UserUin = 77;
    options.SpokenName = "Sammy";
    const QByteArray raw = EncodeOptions(options);
    const OptionsRecord cut = DecodeOptions(raw.left(0x6320 + 4));   // up to the UIN
    QCOMPARE(cut.UserName, QString("Sam"));
    QCOMPARE(cut.UserUin, 77);
    QCOMPARE(cut.SpokenName, QString());
    QCOMPARE(cut.DisplayName, QString("Sam"));
    const OptionsRecord none = DecodeOptions(QByteArray());
    QCOMPARE(none.UserName, QString());
    QCOMPARE(none.UserUin, 0);
    QCOMPARE(none.DisplayName, QString());
}

void TestRecords::emptyDisplayNameTakesUserName()
{
    OptionsRecord options;
    options.UserName = QString(30, 'n');   // cut to 20 on writing
    const OptionsRecord back = DecodeOptions(EncodeOptions(options));
    QCOMPARE(back.UserName, QString(20, 'n'));
    QCOMPARE(back.DisplayName, QString(20, 'n'));
}

void TestRecords::listRecordsRoundTrip()
{
    const OnlineBuddyRecord buddy{"192.168.100.200", "123456789012345", QString(40, 'B')};
    QCOMPARE(buddy.encode().size(), OnlineBuddyRecord::Size);
    const OnlineBuddyRecord buddyBack = OnlineBuddyRecord::decode(buddy.encode());
    QCOMPARE(buddyBack.Address, buddy.Address);
    QCOMPARE(buddyBack.Uin, buddy.Uin);
    QCOMPARE(buddyBack.BuddyName, QString(35, 'B'));
    QCOMPARE(buddy.encode().at(32), char(35));

    const CheckedUserRecord checked{"1234567890123", 1};
    QCOMPARE(checked.encode().size(), CheckedUserRecord::Size);
    QCOMPARE(CheckedUserRecord::decode(checked.encode()).Uin, QString("123456789012"));
    QCOMPARE(checked.encode().at(13), char(1));

    const UinAddressRecord address{-2, "10.1.2.3"};
    QCOMPARE(address.encode().size(), UinAddressRecord::Size);
    QCOMPARE(address.encode().left(5), QByteArray("\xFE\xFF\xFF\xFF\x08"));
    QCOMPARE(UinAddressRecord::decode(address.encode()).Address, QString("10.1.2.3"));

    const QuestionRecord question{"MAX", "&&MA&&7&&3 + 4"};
    QCOMPARE(question.encode().size(), QuestionRecord::Size);
    const QuestionRecord questionBack = QuestionRecord::decode(question.encode());
    QCOMPARE(questionBack.Code, QString("MA"));
    QCOMPARE(questionBack.Text, question.Text);
    QCOMPARE(question.encode().at(3), char(question.Text.size()));
}

void TestRecords::trailingPartialRecordIsIgnored()
{
    QByteArray bytes = CheckedUserRecord{"1", 1}.encode() + CheckedUserRecord{"2", 0}.encode() + QByteArray(23, 'x');
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const QList<QByteArray> records = ReadAllRecords(buffer, CheckedUserRecord::Size);
    QCOMPARE(records.size(), 2);
    QCOMPARE(CheckedUserRecord::decode(records[1]).Uin, QString("2"));
}

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
