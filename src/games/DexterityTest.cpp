#include "DexterityTest.h"

#include "CharacterStage.h"
#include "PlaySettings.h"
#include "QuestionSources.h"
#include "RaceModel.h"
#include "RaceScreen.h"
#include "Utilities.h"

QRect JumpArea(int difficulty, const QSize &screen)
{
    const int w = screen.width(), h = screen.height();
    switch (difficulty) {
    case Easy:
        return QRect(w / 4, h / 4, std::max(1, w / 2), std::max(1, h / 2));
    case Difficult:
        return QRect(0, 0, std::max(1, w - 30), std::max(1, h - 30));
    default:
        return QRect(60, 50, std::max(1, w - 120), std::max(1, h - 100));
    }
}

int TicksAfterJump(qint32 jumps)
{
    return jumps <= 20 ? 3 : jumps <= 50 ? 4 : 5;
}

void DexterityStep(RaceModel &model, int difficulty, CharacterStage &stage, const RaceScreen &screen,
                   Random &random)
{
    if (model.dexterityCountdown <= 0 || --model.dexterityCountdown > 0)
        return;
    const QRect area = JumpArea(difficulty, screen.size());
    const int x = area.left() + random.below(area.width());
    const int y = area.top() + random.below(area.height());
    const QString announcer = QStringLiteral("Announcer");
    stage.stop(announcer);
    stage.speak(QStringLiteral(" "), announcer);
    stage.move(x, y, announcer, 0);
    ++model.dexterityJumps;
    model.dexterityCountdown = TicksAfterJump(model.dexterityJumps);
}
