#include "CharacterTool.h"

#include "Agent.h"
#include "RaceScreen.h"
#include "Stage.h"
#include "Utilities.h"

namespace charactertool {

namespace {

const QString Identity = QStringLiteral("Player0");

Task<> waitForQueue(AgentStage &stage)
{
    const agent::AgentControl *control = &stage.control();
    const auto idle = [control] {
        const agent::Character *character = control->character(Identity);
        return !character || character->queueEmpty();
    };
    co_await WaitUntil(idle, 50, 12000);
}

} // namespace

Task<> previewCharacter(AgentStage &stage, QString file, std::function<void(const QString &)> say, bool *played)
{
    *played = false;
    QString name;
    QStringList animations;
    try {
        const agent::detail::CharacterData data = agent::detail::loadCharacterFile(file);
        name = data.name;
        for (const QString &animation : gameAnimations())
            if (data.find(animation))
                animations << animation;
    } catch (const agent::AgentError &error) {
        say(QString::fromUtf8(error.what()));
        co_return;
    }
    // The file was read once already; the stage reads it again as the game does.
    if (!stage.load(10, file, true, true, Identity)) {
        say(QStringLiteral("the stage cannot load %1").arg(file));
        co_return;
    }
    const QSize screen = RaceScreen().size();   // the primary screen
    stage.move(screen.width() / 2, screen.height() / 3, Identity, 0);
    say(QStringLiteral("show"));
    stage.show(false, Identity);
    co_await waitForQueue(stage);
    for (const QString &animation : std::as_const(animations)) {
        say((stage.act(animation, Identity) ? QStringLiteral("play ") : QStringLiteral("cannot play ")) + animation);
        co_await waitForQueue(stage);
    }
    say(QStringLiteral("speak"));
    stage.speak(QStringLiteral("Hello, I am %1. Ready for the race!").arg(name.isEmpty() ? QStringLiteral("new here") : name),
                Identity);
    co_await stage.waitForAudio();
    co_await waitForQueue(stage);
    say(QStringLiteral("hide"));
    stage.hide(false, Identity);
    co_await waitForQueue(stage);
    stage.unload(Identity);
    *played = true;
}

} // namespace charactertool
