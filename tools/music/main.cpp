// Writes the game's racing tunes race1.mid, race2.mid, ... into the given folder.
#include "Composer.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

int main(int argc, char **argv)
{
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: hf-make-music OUTPUT-FOLDER\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        err << "cannot create " << folder.path() << "\n";
        return 1;
    }
    const QList<TuneStyle> tunes = GameTunes();
    for (int i = 0; i < tunes.size(); ++i) {
        const QString path = folder.filePath(QStringLiteral("race%1.mid").arg(i + 1));
        const QByteArray data = ComposeTune(tunes.at(i));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
            err << "cannot write " << path << "\n";
            return 1;
        }
        file.close();
        if (file.error() != QFileDevice::NoError) {
            err << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
