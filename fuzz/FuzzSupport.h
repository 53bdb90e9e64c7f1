// Shared by the fuzz targets: the seed corpus each target writes of our own files, and
// an in-memory file for readers that take a path.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The folder named by HF_FUZZ_WRITE_SEEDS, or empty. A target started with it set writes
// its seeds there (WriteSeed) and ends instead of fuzzing.
QString SeedFolder();
void WriteSeed(const QString &folder, const QString &name, const QByteArray &bytes);
[[noreturn]] void SeedsWritten();

// A path (under /proc/self/fd) of a regular in-memory file that now holds the bytes.
QString MemoryFile(const uint8_t *data, size_t size);

// A folder of its own for targets that read files from the program folder.
QString ScratchFolder();

inline QByteArray Bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace fuzz
