// hollyfrost-character: helps a person make a character for the game.
//
//   hollyfrost-character check FILE|DIR      every problem, one line each; exit 1 when any
//   hollyfrost-character pack DIR [-o FILE]   a folder that checks clean into a character file
//   hollyfrost-character preview FILE         the character on the desktop, as the game shows it
#include "CharacterTool.h"
#include "Stage.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

namespace {

void printLine(FILE *to, const QString &line)
{
    std::fprintf(to, "%s\n", line.toLocal8Bit().constData());
}

int usage()
{
    std::fprintf(stderr, "usage: hollyfrost-character check FILE|DIR\n"
                         "       hollyfrost-character pack DIR [-o FILE]\n"
                         "       hollyfrost-character preview FILE\n");
    return 2;
}

int check(const QString &path)
{
    const QStringList problems = charactertool::checkCharacter(path).problems;
    for (const QString &line : problems)
        printLine(stdout, line);
    return problems.isEmpty() ? 0 : 1;
}

int pack(const QStringList &args)
{
    QString folder, out;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-o") && i + 1 < args.size() && out.isEmpty())
            out = args[++i];
        else if (folder.isEmpty() && !args[i].startsWith(u'-'))
            folder = args[i];
        else
            return usage();
    }
    if (folder.isEmpty())
        return usage();
    QString written;
    const QStringList problems = charactertool::packCharacter(folder, out, &written);
    for (const QString &line : problems)
        printLine(stderr, line);
    if (!problems.isEmpty())
        return 1;
    printLine(stdout, QStringLiteral("wrote %1").arg(written));
    return 0;
}

int preview(int argc, char **argv, const QString &file)
{
    QApplication app(argc, argv);
    const RaceScreen screen;   // the primary screen
    AgentStage stage(screen);
    bool played = false;
    const auto showThenQuit = [&]() -> Task<> {
        co_await charactertool::previewCharacter(stage, file, [](const QString &line) { printLine(stdout, line); },
                                                 &played);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);   // also before exec()
    };
    Launch(showThenQuit());
    app.exec();
    EndAllWaits();
    return played ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString command = args.value(0);
    if (command == QLatin1String("preview") && args.size() == 2)
        return preview(argc, argv, args[1]);
    QCoreApplication app(argc, argv);
    if (command == QLatin1String("check") && args.size() == 2)
        return check(args[1]);
    if (command == QLatin1String("pack"))
        return pack(args.mid(1));
    return usage();
}
