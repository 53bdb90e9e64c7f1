// Reads every entry of a zip archive into memory, for the character file tests.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QString>

#include <zip.h>

// Entry name -> contents; *ok is false when the file is not a readable zip archive.
inline QMap<QString, QByteArray> readZipEntries(const QString &path, bool *ok)
{
    QMap<QString, QByteArray> entries;
    *ok = false;
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive)
        return entries;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    bool good = count >= 0;
    for (zip_int64_t i = 0; good && i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
            good = false;
            break;
        }
        zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(i), 0);
        if (!file) {
            good = false;
            break;
        }
        QByteArray data(qsizetype(st.size), Qt::Uninitialized);
        good = zip_fread(file, data.data(), st.size) == zip_int64_t(st.size);
        zip_fclose(file);
        entries.insert(QString::fromUtf8(st.name), data);
    }
    zip_close(archive);
    *ok = good;
    return entries;
}
