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

void LoadOptions()
{
    Records::Options = Records::OptionsRecord();
    const QString path = OptionsFilePath();
    if (!FileExists(path))
        return;
    // A file we may not read at all would only be retried in vain: defaults at once.
    if (!QFileInfo(NativePath(path)).isReadable())
        return;
    // The messenger owns the file; the game only reads it. Opening for reading takes a
    // shared lock, so a messenger in the middle of writing it is waited for (with the
    // usual retry) and a file that stays locked leaves the defaults.
    QFile file;
    if (!OpenTextFile(path, QStringLiteral("R"), file))
        return;
    const QByteArray bytes = file.read(Records::OptionsLayout::Size);
    file.close();
    if (bytes.isEmpty())
        return;
    Records::Options = Records::DecodeOptions(bytes);
}
