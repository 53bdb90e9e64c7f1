#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace fuzz {

QString SeedFolder()
{
    return qEnvironmentVariable("HF_FUZZ_WRITE_SEEDS");
}

void WriteSeed(const QString &folder, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(folder);
    QFile file(folder + u'/' + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write the seed %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

void SeedsWritten()
{
    std::exit(0);
}

QString MemoryFile(const uint8_t *data, size_t size)
{
    static const int fd = memfd_create("fuzz-input", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || (size > 0 && pwrite(fd, data, size, 0) != ssize_t(size))) {
        std::perror("memfd");
        std::abort();
    }
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

QString ScratchFolder()
{
    static QTemporaryDir folder;
    return folder.path() + u'/';
}

} // namespace fuzz
