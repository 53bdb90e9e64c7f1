// Phrase tables are text files that anyone can edit: the lookup reads them line by line.
#include "FuzzSupport.h"
#include "PhraseUnit.h"
#include "kw_unit.h"

#include <QFile>

#ifndef HF_SOURCE_DIR
#define HF_SOURCE_DIR "."
#endif

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString seeds = fuzz::SeedFolder();
    if (!seeds.isEmpty()) {
        for (const char *name : {"stdtalk.lst", "stdtalk.bak"}) {
            QFile table(QStringLiteral(HF_SOURCE_DIR "/data/") + QLatin1String(name));
            if (!table.open(QIODevice::ReadOnly))
                std::exit(1);
            fuzz::WriteSeed(seeds, QLatin1String(name), table.readAll());
        }
        fuzz::SeedsWritten();
    }
    qputenv("HOLLYFROST_PROGRAM_FOLDER", QFile::encodeName(fuzz::ScratchFolder()));
    RandSeed(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QFile table(fuzz::ScratchFolder() + QStringLiteral("stdtalk.lst"));
    if (!table.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    table.write(reinterpret_cast<const char *>(data), qint64(size));
    table.close();
    for (const char *code : {"we1", "rs1", "Gt0", "dl1", "wn1", "##"})
        LookupPhrase(QLatin1String(code));
    return 0;
}
