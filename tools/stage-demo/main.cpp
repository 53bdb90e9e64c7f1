// hollyfrost-stage-demo [CHARACTER_FILE]: the character stage on show. Loads the
// commentator and one contestant, shows them, plays every animation the game uses, moves
// them through the four corners and across the screen, lets them speak, and ends.
// Prints a line for each step it asks for and one for each request that finishes.
#include "Agent.h"
#include "Phrases.h"
#include "RaceScreen.h"
#include "Stage.h"
#include "Utilities.h"

#include <QApplication>
#include <QTextStream>

namespace {

const QStringList GameAnimations = {"greet", "wave", "pleased", "cheer", "congratulate", "gestureleft",
                                    "lookleft", "lookright", "lookup", "lookdown", "blink", "alert",
                                    "surprised", "idle_1", "moveup", "postcall", "startgate", "hide"};
const QStringList Corners = {"topleft", "topright", "bottomright", "bottomleft"};

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString &line)
{
    out() << line << Qt::endl;
}

bool bothIdle(agent::AgentControl *control, const QStringList &identities)
{
    for (const QString &identity : identities) {
        const agent::Character *character = control->character(identity);
        if (character && !character->queueEmpty())
            return false;
    }
    return true;
}

Task<> waitForQueues(agent::AgentControl *control, QStringList identities)
{
    const auto idle = [control, identities] { return bothIdle(control, identities); };
    co_await WaitUntil(idle, 50, 12000);
}

// The whole show; sets status to 0 once it has ended normally.
Task<> show(AgentStage &stage, QString contestantFile, int &status)
{
    const QStringList identities = {QStringLiteral("Announcer"), QStringLiteral("Player0")};
    if (!stage.load(10, ProgramFolder() + QStringLiteral("Announcer.acs"), false, true, identities[0])
        || !stage.load(10, contestantFile, false, false, identities[1])) {
        QTextStream(stderr) << "hollyfrost-stage-demo: cannot load the characters (" << contestantFile << ")\n";
        co_return;
    }
    say(QStringLiteral("loaded Announcer and Player0 from %1").arg(NameOfPath(contestantFile)));
    const QSize screen = RaceScreen().size();   // the primary screen
    stage.move(screen.width() / 3, screen.height() / 3, identities[0], 0);
    stage.move(2 * screen.width() / 3, screen.height() / 3, identities[1], 0);
    for (const QString &identity : identities) {
        say(identity + QStringLiteral(": show"));
        stage.show(false, identity);
    }
    co_await waitForQueues(&stage.control(), identities);

    for (const QString &animation : GameAnimations) {
        for (const QString &identity : identities) {
            say(identity + QStringLiteral(": play ") + animation);
            stage.act(animation, identity);
        }
        co_await waitForQueues(&stage.control(), identities);
    }
    for (const QString &corner : Corners) {
        for (const QString &identity : identities) {
            say(identity + QStringLiteral(": move to ") + corner);
            stage.act(QStringLiteral("moveto") + corner, identity);
        }
        co_await waitForQueues(&stage.control(), identities);
    }
    for (int i = 0; i < identities.size(); ++i) {
        say(identities[i] + QStringLiteral(": across the screen"));
        stage.move(0, screen.height() / 2 - 100 * i, identities[i], 0);
        stage.move(screen.width() - 140, screen.height() / 2 - 100 * i, identities[i], 2500);
    }
    co_await waitForQueues(&stage.control(), identities);

    say(QStringLiteral("Announcer: speak"));
    stage.speak(LookupPhrase(QStringLiteral("we1")), identities[0]);
    co_await stage.waitForAudio();
    co_await waitForQueues(&stage.control(), identities);
    say(QStringLiteral("Player0: speak"));
    stage.speak(LookupPhrase(QStringLiteral("rs1")) + QStringLiteral(" ") + WithoutExtension(NameOfPath(contestantFile)),
                identities[1]);
    co_await waitForQueues(&stage.control(), identities);

    for (const QString &identity : identities) {
        say(identity + QStringLiteral(": hide"));
        stage.hide(false, identity);
    }
    co_await waitForQueues(&stage.control(), identities);
    for (const QString &identity : identities)
        stage.unload(identity);
    say(QStringLiteral("finished"));
    status = 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const RaceScreen screen;   // the primary screen
    AgentStage stage(screen);
    const QString contestantFile = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                            : WindowsFolder() + QStringLiteral("MSAGENT\\CHARS\\") + NthCharacterFile(1);
    QObject::connect(&stage.control(), &agent::AgentControl::requestComplete, &app, [](int id, int status) {
        static const char *const outcomes[] = {"done", "stopped", "failed"};
        say(QStringLiteral("request %1 %2").arg(id).arg(QLatin1String(outcomes[qBound(0, status, 2)])));
    });
    int status = 1;
    const auto showThenQuit = [&]() -> Task<> {
        co_await show(stage, contestantFile, status);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);   // also before exec()
    };
    Launch(showThenQuit());
    app.exec();
    EndAllWaits();
    return status;
}
