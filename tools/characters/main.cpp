// hollyfrost-make-characters: draws the characters the game ships and writes them as
// character files.
//
//   hollyfrost-make-characters [--bin-dir DIR] [--chars-dir DIR] [--contact-sheet FILE]
//                              [--expect NAME,NAME...]
//
// --bin-dir receives the commentator ("Announcer.acs"), --chars-dir the contestants;
// --contact-sheet writes one PNG showing a few poses of every character side by side;
// --expect fails the run unless the contestants are exactly those named (the build
// lists every file it expects, so the two must agree).
#include "Choreography.h"
#include "Painter.h"
#include "Roster.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QStringList>

#include <cstdio>

namespace {

struct Built
{
    chars::Traits traits;
    chars::CharacterFile file;
};

QImage frameOf(const chars::CharacterFile &file, const QString &animation, int index)
{
    const auto &frames = file.animations().value(animation).frames;
    if (frames.isEmpty())
        return QImage();
    QImage image;
    image.loadFromData(file.frameData(frames.value(std::min(index, int(frames.size()) - 1)).image), "PNG");
    return image;
}

bool writeContactSheet(const QList<Built> &built, const QString &path)
{
    const QList<QPair<QString, int>> rows = {{"rest", 0}, {"greet", 2}, {"cheer", 2}, {"surprised", 2},
                                             {"postcall", 3}, {"startgate", 4}, {"moveleft", 1},
                                             {"idle_2", 2}, {"congratulate", 2}};
    const int cw = chars::FrameWidth, ch = chars::FrameHeight;
    QImage sheet(cw * int(built.size()), ch * int(rows.size()) + 16, QImage::Format_ARGB32);
    sheet.fill(QColor(246, 244, 236));
    QPainter p(&sheet);
    for (int c = 0; c < built.size(); ++c) {
        p.setPen(Qt::black);
        p.drawText(QRect(c * cw, 0, cw, 16), Qt::AlignCenter, built[c].traits.name);
        for (int r = 0; r < rows.size(); ++r) {
            const QRect cell(c * cw, 16 + r * ch, cw, ch);
            p.fillRect(cell, (r + c) % 2 ? QColor(236, 240, 250) : QColor(250, 246, 236));
            p.drawImage(cell.topLeft(), frameOf(built[c].file, rows[r].first, rows[r].second));
        }
    }
    p.end();
    return sheet.save(path, "PNG");
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QString binDir, charsDir, sheetPath, expected;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString value = args.value(i + 1);
        if (args[i] == "--bin-dir" && !value.isEmpty()) {
            binDir = value;
            ++i;
        } else if (args[i] == "--chars-dir" && !value.isEmpty()) {
            charsDir = value;
            ++i;
        } else if (args[i] == "--expect" && !value.isEmpty()) {
            expected = value;
            ++i;
        } else if (args[i] == "--contact-sheet" && !value.isEmpty()) {
            sheetPath = value;
            ++i;
        } else {
            std::fprintf(stderr, "usage: hollyfrost-make-characters [--bin-dir DIR] [--chars-dir DIR] "
                                 "[--contact-sheet FILE] [--expect NAME,NAME...]\n");
            return 2;
        }
    }

    if (!expected.isEmpty()) {
        QStringList names;
        for (const chars::Traits &t : chars::contestants())
            names << QFileInfo(t.fileName).completeBaseName();
        if (names != expected.split(',')) {
            std::fprintf(stderr, "the contestants are %s, the build expects %s\n", qPrintable(names.join(',')),
                         qPrintable(expected));
            return 1;
        }
    }

    QList<Built> built;
    built.append({chars::announcer(), chars::buildCharacter(chars::announcer())});
    for (const chars::Traits &t : chars::contestants())
        built.append({t, chars::buildCharacter(t)});

    int failures = 0;
    for (int i = 0; i < built.size(); ++i) {
        const QString dir = i == 0 ? binDir : charsDir;
        if (dir.isEmpty())
            continue;
        if (!QDir().mkpath(dir)) {
            std::fprintf(stderr, "cannot create folder %s\n", qPrintable(dir));
            return 1;
        }
        QString error;
        if (!built[i].file.write(QDir(dir).filePath(built[i].traits.fileName), &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            ++failures;
        }
    }
    if (!sheetPath.isEmpty() && !writeContactSheet(built, sheetPath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(sheetPath));
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
