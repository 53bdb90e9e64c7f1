// Draws GameSkin1.jpg (the main window's face) and RaceBanner.jpg.
#include "JpegCodec.h"
#include "SkinPainter.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 3) {
        err << "usage: hf-make-skin SKIN.jpg BANNER.jpg\n";
        return 2;
    }
    const QString skin = QString::fromLocal8Bit(argv[1]);
    const QString banner = QString::fromLocal8Bit(argv[2]);
    if (!WriteJpegFile(DrawSkin(), skin, 92)) {
        err << "cannot write " << skin << "\n";
        return 1;
    }
    if (!WriteJpegFile(DrawBanner(), banner, 92)) {
        err << "cannot write " << banner << "\n";
        return 1;
    }
    return 0;
}
