// The messenger's record files (options, online buddies, checked users, addresses) and
// the question file. The first byte picks the reader, the rest is the file.
#include "FuzzSupport.h"
#include "records.h"

#include <QBuffer>

namespace {
QByteArray seedOf(char kind, const QByteArray &bytes)
{
    return QByteArray(1, kind) + bytes;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString seeds = fuzz::SeedFolder();
    if (seeds.isEmpty())
        return 0;
    Records::OptionsRecord options;
    options.UserName = QStringLiteral("Robin");
    options.UserUin = 40001;
    options.UserCharacterFile = QStringLiteral("C:\\Windows\\msagent\\chars\\Pip.acs");
    options.SpokenName = QStringLiteral("Robbin");
    options.LanguageSuffix = QStringLiteral("-de");
    fuzz::WriteSeed(seeds, QStringLiteral("options"), seedOf('O', Records::EncodeOptions(options)));
    fuzz::WriteSeed(seeds, QStringLiteral("online"),
                    seedOf('B', Records::OnlineBuddyRecord{QStringLiteral("127.0.0.2"), QStringLiteral("40002"),
                                                           QStringLiteral("Sam")}.encode()));
    fuzz::WriteSeed(seeds, QStringLiteral("checked"),
                    seedOf('C', Records::CheckedUserRecord{QStringLiteral("40002"), 1}.encode()
                                    + Records::CheckedUserRecord{QStringLiteral("40003"), 0}.encode()));
    fuzz::WriteSeed(seeds, QStringLiteral("addresses"),
                    seedOf('U', Records::UinAddressRecord{40002, QStringLiteral("127.0.0.2")}.encode()));
    fuzz::WriteSeed(seeds, QStringLiteral("questions"),
                    seedOf('Q', Records::QuestionRecord{QStringLiteral("MA"), QStringLiteral("&&MA&&7&&3 + 4&&1")}.encode()));
    fuzz::SeedsWritten();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    QByteArray file = fuzz::Bytes(data + 1, size - 1);
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);
    switch (data[0]) {
    case 'O': {
        const Records::OptionsRecord options = Records::DecodeOptions(file.left(Records::OptionsLayout::Size));
        if (options.UserName.size() > Records::OptionsLayout::UserNameCapacity)
            std::abort();
        break;
    }
    case 'B':
        for (const QByteArray &raw : Records::ReadAllRecords(device, Records::OnlineBuddyRecord::Size))
            Records::OnlineBuddyRecord::decode(raw).encode();
        break;
    case 'C':
        for (const QByteArray &raw : Records::ReadAllRecords(device, Records::CheckedUserRecord::Size))
            Records::CheckedUserRecord::decode(raw).encode();
        break;
    case 'U':
        for (const QByteArray &raw : Records::ReadAllRecords(device, Records::UinAddressRecord::Size))
            Records::UinAddressRecord::decode(raw).encode();
        break;
    default:
        for (const QByteArray &raw : Records::ReadAllRecords(device, Records::QuestionRecord::Size)) {
            // What the game writes it reads back the same.
            const Records::QuestionRecord record = Records::QuestionRecord::decode(raw);
            const Records::QuestionRecord again = Records::QuestionRecord::decode(record.encode());
            if (again.Code != record.Code || again.Text != record.Text)
                std::abort();
        }
        break;
    }
    return 0;
}
