#include "Race.h"

#include "DexterityTest.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "Phrases.h"
#include "QuestionRound.h"
#include "RaceModel.h"
#include "RaceScreen.h"
#include "Utilities.h"


#include <algorithm>

namespace {

constexpr int FinishProgress = 92;


// The best slot by Progress, skipping the given ones; ties go to the lowest slot and a
// slot with Progress 0 is never chosen. When nobody qualifies the lowest slot not skipped
// stands in, so that the winner is never also named second or third on the scoreboard.
int bestSlot(const RaceModel &model, int skipA, int skipB)
{
    const auto progressOf = [&model](int slot) { return model.contestants[slot].Progress; };
    int best = 0;
    int result = 0;
    while (result == skipA || result == skipB)
        ++result;
    for (int slot = 0; slot < MaxContestants; ++slot) {
        if (slot == skipA || slot == skipB)
            continue;
        if (progressOf(slot) > best) {
            best = progressOf(slot);
            result = slot;
        }
    }
    return result;
}

} // namespace

void AdvanceProgress(ContestantRecord &record, int gameType, Random &random)
{
    if (gameType == RandomRaceType)
        record.Progress += random.below(16);
    else if (IsPuzzleGame(gameType))
        record.Progress = 12 * record.Score;
}

Task<bool> Race::round()
{
    const auto progressOf = [this](int slot) { return model().contestants[slot].Progress; };
    GameSession &session = session_;
    const RaceHold race(session_.raceRun());
    bool last = !session.raceRunning();
    for (int slot = 0; slot < roster_.count() && slot < MaxContestants; ++slot) {
        side().advance(slot);
        if (progressOf(slot) >= FinishProgress && session.raceRunning()) {
            session_.raceRun().standings.finisher = slot;
            co_await finish();
            session.setRaceRunning(false);
            last = true;
        }
    }
    if (!race.goesOn())
        co_return false;
    RankContestants(roster_, session_.raceRun().standings);
    --session_.raceRun().questionCountdown;
    if (session_.raceRun().questionCountdown < 1 && session.raceRunning() && IsPuzzleGame(settings_.gameType())) {
        co_await side().putQuestions(questions_);
        if (race.goesOn())
            session_.raceRun().questionCountdown = 3;
    }
    co_await Wait(2000);
    if (settings_.gameType() == RandomRaceType)
        co_await Wait(2000);
    // Cancelled meanwhile: its joiners hear nothing more of it.
    if (!race.goesOn())
        co_return false;
    if (!last && side().hostLost()) {   // its cancel was lost: never stuck in a dead race
        cancelledByHost();
        co_return false;
    }
    if (!last)   // the finish sent the last positions
        co_await side().tellPositions();
    co_return !last;
}

void RankContestants(const Roster &roster, RaceStandings &places)
{
    const RaceModel &model = roster.model();
    places.first = bestSlot(model, -1, -1);
    places.second = bestSlot(model, places.first, -1);
    places.third = roster.count() > 2 ? bestSlot(model, places.first, places.second) : 2;
}

void Race::moveContestant(int slot)
{
    const int count = roster_.count();
    if (slot < 0 || slot >= MaxContestants || count < 1)
        return;
    const QSize screen = screen_.size();
    // Past the finish (or past 100) the character stands at the right edge.
    const qint64 percent = std::clamp<qint64>(model().contestants[slot].Progress, 0, 100);
    const int targetX = static_cast<int>(screen.width() * percent / 100);
    const int rowTop = slot * (screen.height() / count);
    const QString identity = PlayerIdentity(slot);
    const QPoint at = stage_.position(identity);
    ContestantRecord &record = model().contestants[slot];
    if ((at.x() == targetX && record.LastX != 0) || (record.LastX == targetX && at.y() == rowTop)) {
        idleGesture(slot);
        return;
    }
    stage_.stop(identity);
    stage_.show(true, identity);
    stage_.move(targetX, rowTop, identity, 1 + random_.below(200));
    record.LastX = targetX;
    session_.raceRun().movedSinceCommentary = true;
}

void Race::idleGesture(int slot)
{
    static const char *const gestures[] = {"gestureleft", "idle_1", "surprised", "lookleft", "lookright",
                                           "blink", "lookup", "lookdown", "alert"};
    const int r = random_.below(20);
    if (r >= 1 && r <= 9)
        stage_.act(QLatin1String(gestures[r - 1]), PlayerIdentity(slot));
}

Task<> Race::commentary()
{
    const auto progressOf = [this](int slot) { return model().contestants[slot].Progress; };
    const auto nameOf = [this](int slot) { return model().contestants[slot].PlayerName; };
    RaceRun &race = session_.raceRun();
    if (!(progressOf(race.standings.first) >= 10 && session_.raceRunning() && race.movedSinceCommentary
          && model().dexterityCountdown <= 0 && settings_.playMode() != PracticeGame))
        co_return;
    race.movedSinceCommentary = false;
    const RaceHold hold(session_.raceRun());
    co_await waitForLeftAtLeast(race.standings.first, 250, 20);
    if (!hold.goesOn() || !session_.raceRunning())
        co_return;   // cancelled or finished meanwhile: nobody leads any more
    const QString announcer = QStringLiteral("Announcer");
    const int count = roster_.count();
    const RaceStandings places = race.standings;
    const qint32 first = progressOf(places.first), second = progressOf(places.second), third = progressOf(places.third);
    CharacterStage &stage = stage_;
    if (count > 2 && first == second && second == third) {
        stage.speak(LookupPhrase(QStringLiteral("rt1")), announcer);
        if (count > 3)
            stage.speak(QStringLiteral("With  ") + nameOf(places.first) + QStringLiteral(", ") + nameOf(places.second)
                            + QStringLiteral(", ") + nameOf(places.third),
                        announcer);
    } else if (first == second) {
        stage.speak(LookupPhrase(QStringLiteral("rt2")) + u' ' + nameOf(places.first) + QStringLiteral(", ")
                        + nameOf(places.second),
                    announcer);
    } else {
        if (first > 0)
            stage.speak(LookupPhrase(QStringLiteral("rw1")) + u' ' + nameOf(places.first), announcer);
        if (count > 2 && second > 0)
            stage.speak(LookupPhrase(QStringLiteral("rp1")) + u' ' + nameOf(places.second), announcer);
        if (count >= 3 && third >= 1)
            stage.speak(LookupPhrase(QStringLiteral("rl1")) + u' ' + nameOf(places.third), announcer);
    }
}

Task<> Race::waitForLeftAtLeast(int slot, int polls, int stepMs)
{
    const QString identity = PlayerIdentity(slot);
    const auto leftTheStart = [this, identity, slot] {
        return !stage_.loaded(identity) || stage_.position(identity).x() >= model().contestants[slot].Progress;
    };
    co_await WaitUntil(leftTheStart, stepMs, polls);
}

// The goodbye and unload steps reach every character the game may have loaded, whatever
// the list holds now (it may have changed since the race).
Task<> Race::goodbyeStep()
{
    for (int slot = 0; slot < MaxContestants; ++slot) {
        if (slot != session_.raceRun().standings.finisher && stage_.loaded(PlayerIdentity(slot)))
            stage_.act(QStringLiteral("hide"), PlayerIdentity(slot));
    }
    co_await Wait(2000);
}

Task<> Race::unloadStep()
{
    // The finisher waves goodbye last; a race cancelled before its finish has none.
    const int finisherSlot = session_.raceRun().standings.finisher;
    const QString finisher = PlayerIdentity(finisherSlot);
    if (finisherSlot >= 0)
        stage_.act(QStringLiteral("wave"), finisher);
    for (int slot = 0; slot < MaxContestants; ++slot) {
        if (slot != finisherSlot)
            stage_.unload(PlayerIdentity(slot));
    }
    co_await Wait(1000);
    if (finisherSlot >= 0)
        stage_.act(QStringLiteral("hide"), finisher);
    co_await Wait(1000);
    if (finisherSlot >= 0)
        stage_.unload(finisher);
    stage_.unload(QStringLiteral("Announcer"));
}

void UnloadRaceCharacters(CharacterStage &stage)
{
    // Every character the game may have loaded, whatever the roster holds now: it may
    // have changed since they were loaded.
    for (int slot = 0; slot < MaxContestants; ++slot)
        stage.unload(PlayerIdentity(slot));
    stage.unload(QStringLiteral("Announcer"));
}

Task<> Race::tickStep()
{
    if (session_.raceRunning()) {
        const RaceHold race(session_.raceRun());
        if (session_.raceRun().turn > 9) {
            if (++session_.raceRun().commentaryCycles > 3) {
                co_await commentary();
                if (race.goesOn())   // else the counters are another race's
                    session_.raceRun().commentaryCycles = 0;
            }
            if (race.goesOn())
                session_.raceRun().turn = 0;
        }
        // The commentary may have waited (up to 5 s): a race cancelled or finished
        // meanwhile, its ceremony under way, is not moved again.
        if (race.goesOn() && session_.raceRunning()) {
            if (session_.raceRun().turn < roster_.count())
                moveContestant(session_.raceRun().turn);
            ++session_.raceRun().turn;
        }
    }
    if (!session_.raceRunning() && model().shutdownCountdown > 0) {
        --model().shutdownCountdown;
        if (model().shutdownCountdown == 15)
            co_await goodbyeStep();
        else if (model().shutdownCountdown == 5)
            co_await unloadStep();
        else if (model().shutdownCountdown == 0 && settings_.playMode() != PracticeGame)
            TerminateApplication();
    }
    DexterityStep(model(), settings_.difficulty(), stage_, screen_, random_);
}

// Ticks that run the commentary or the goodbye and unload steps wait on purpose.
bool Race::tickWaits() const
{
    const RaceRun &run = session_.raceRun();
    const int countdown = model().shutdownCountdown;
    if (session_.raceRunning())
        return run.turn > 9 && run.commentaryCycles >= 3;
    return countdown == 16 || countdown == 6;
}

int Race::rowHeight() const
{
    const int count = roster_.count();
    return count > 0 ? screen_.size().height() / count : 0;
}

QPoint Race::screenCentre() const
{
    return QPoint(screen_.size().width() / 2, screen_.size().height() / 2);
}

namespace {
const QString Announcer = QStringLiteral("Announcer");
}

Task<> Race::finish()
{
    GameSession &session = session_;
    // After each wait: a ceremony cancelled meanwhile plays no further.
    const RaceHold race(session_.raceRun());
    const auto cancelled = [&race] { return !race.goesOn(); };
    RankContestants(roster_, session_.raceRun().standings);
    // The question on show, a memory test included, ends with the race: nothing is
    // answered or scored during the ceremony.
    questions_.withdraw();
    side().tellFinalPositions();
    co_await waitForLeftAtLeast(session_.raceRun().standings.finisher, 600, 50);
    if (cancelled())
        co_return;
    RankContestants(roster_, session_.raceRun().standings);
    moveContestant(session_.raceRun().standings.first);
    moveContestant(session_.raceRun().standings.second);
    moveContestant(session_.raceRun().standings.third);
    co_await Wait(3000);
    if (cancelled())
        co_return;
    session.setRaceRunning(false);

    const QString finisher = PlayerIdentity(session_.raceRun().standings.finisher);
    stage_.act(QStringLiteral("moveup"), finisher);
    co_await Wait(500);
    if (cancelled())
        co_return;
    stage_.act(QStringLiteral("pleased"), finisher);
    co_await Wait(2500);
    if (cancelled())
        co_return;
    for (int slot = 0; slot < roster_.count(); ++slot)
        stage_.stop(PlayerIdentity(slot));
    emit raceStep(RaceStep::ScoreboardShown);
    co_await Wait(1000);
    if (cancelled())
        co_return;
    for (int slot = 0; slot < roster_.count(); ++slot) {
        if (slot != session_.raceRun().standings.finisher)
            stage_.move(0, slot * rowHeight(), PlayerIdentity(slot), 10);
    }
    co_await WaitUntilIdle(stage_, 10);
    if (cancelled())
        co_return;
    stage_.move(screenCentre().x(), screenCentre().y(), finisher, 100);
    stage_.act(QStringLiteral("greet"), finisher);
    for (int slot = 0; slot < roster_.count(); ++slot) {
        if (slot != session_.raceRun().standings.finisher) {
            stage_.act(QStringLiteral("gestureleft"), PlayerIdentity(slot));
            continue;
        }
        if (settings_.playMode() == PracticeGame)
            continue;
        const ContestantItemFields fields = roster_.fields(slot);
        const QString name = fields.PlayerName.size() < 2 ? WithoutExtension(fields.CharacterFile).left(35)
                                                          : fields.PlayerName;
        stage_.move(screenCentre().x() - 50, screenCentre().y() - 50, Announcer, 100);
        co_await Wait(500);
        co_await stage_.waitForAudio();
        if (cancelled())
            co_return;
        stage_.speak(LookupPhrase(QStringLiteral("wn1")) + u' ' + name, Announcer);
        stage_.act(QStringLiteral("cheer"), Announcer);
    }
    stage_.act(QStringLiteral("congratulate"), finisher);
    co_await Wait(1000);
    if (cancelled())
        co_return;
    for (int slot = 0; slot < roster_.count(); ++slot) {
        if (slot != session_.raceRun().standings.finisher)
            stage_.act(QStringLiteral("pleased"), PlayerIdentity(slot));
    }
}

Task<bool> WaitUntilIdle(CharacterStage &stage, int seconds)
{
    const auto idle = [&stage] { return stage.idle(); };
    return WaitUntil(idle, 250, 4 * seconds);
}
