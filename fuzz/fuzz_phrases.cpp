// Phrase tables are text files that anyone can edit: the lookup reads them line by line.
#include "FuzzSupport.h"
#include "Phrases.h"
#include "Utilities.h"

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
    // The backup table, as installed: a code missing from the fuzzed table is looked up there.
    QFile backup(fuzz::ScratchFolder() + QStringLiteral("stdtalk.bak"));
    if (!backup.open(QIODevice::WriteOnly) || backup.write("we1 Welcome, ##!\r\nrs1 I am\r\n") < 0)
        std::abort();
    backup.close();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The table is a link to the in-memory file that holds the input.
    static const bool linked = QFile::link(fuzz::MemoryFile(data, size), fuzz::ScratchFolder() + QStringLiteral("stdtalk.lst"));
    if (!linked)
        std::abort();
    fuzz::MemoryFile(data, size);
    for (const char *code : {"we1", "rs1", "Gt0", "dl1", "wn1", "##"})
        LookupPhrase(QLatin1String(code));
    return 0;
}
