// hollyfrost-messenger: stands in for the messenger program that the game belongs to.
#include "MessengerCommands.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty())
        return Usage(QString());
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")
        || arguments.contains(QLatin1String("--help")))
        return Help();
    if (command == QLatin1String("init"))
        return RunInit(arguments);
    if (command == QLatin1String("launch"))
        return RunLaunch(arguments);
    if (command == QLatin1String("online"))
        return RunOnline(arguments);
    if (command == QLatin1String("buddies"))
        return RunBuddies(arguments);
    if (command == QLatin1String("listen"))
        return RunListen(arguments);
    if (QStringList{QStringLiteral("add"), QStringLiteral("remove"), QStringLiteral("accept"), QStringLiteral("refuse")}
            .contains(command))
        return RunFriendCommand(command, arguments);
    if (command == QLatin1String("lock"))
        return RunLock(arguments);
    return Usage(QStringLiteral("unknown command %1").arg(command));
}
