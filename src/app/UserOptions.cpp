#include "UserOptions.h"

#include "DataFiles.h"
#include "records.h"
#include "Utilities.h"

#include <QFile>
#include <QFileInfo>

QString OptionsFilePath()
{
    return ProgramFolder() + QStringLiteral("hollyfro.opt");
}

Task<> LoadOptions()
{
    Records::Options = Records::OptionsRecord();
    const QString path = OptionsFilePath();
    if (!FileExists(path))
        co_return;
    // A file we may not read at all would only be retried in vain: defaults at once.
    if (!QFileInfo(NativePath(path)).isReadable())
        co_return;
    // The messenger owns the file; the game only reads it. Opening for reading takes a
    // shared lock, so a messenger in the middle of writing it is waited for (with the
    // usual retry) and a file that stays locked leaves the defaults.
    QFile file;
    const bool opened = co_await OpenTextFileWhenFree(path, QStringLiteral("R"), file);
    if (!opened)
        co_return;
    const QByteArray bytes = file.read(Records::OptionsLayout::Size);
    file.close();
    if (bytes.isEmpty())
        co_return;
    Records::Options = Records::DecodeOptions(bytes);
}
