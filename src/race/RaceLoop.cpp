#include "Race.h"

#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "Phrases.h"
#include "QuestionRound.h"
#include "RaceModel.h"
#include "RaceScreen.h"
#include "Utilities.h"


#include <algorithm>

namespace {

constexpr int FinishProgress = 92;

qint32 &progressOf(int slot)
{
    return Model().contestants[slot].Progress;
}

// The best slot by Progress, skipping the given ones; ties go to the lowest slot and a
// slot with Progress 0 is never chosen. When nobody qualifies the lowest slot not skipped
// stands in, so that the winner is never also named second or third on the scoreboard.
int bestSlot(int skipA, int skipB)
{
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

QString nameOf(int slot)
{
    return Model().contestants[slot].PlayerName;
}

} // namespace

void AdvanceProgress(int slot, Random &random)
{
    const int gameType = CurrentGameType();
    if (gameType == RandomRaceType)
        progressOf(slot) += random.below(16);
    else if (IsPuzzleGame(gameType))
        progressOf(slot) = 12 * Model().contestants[slot].Score;
}

Task<bool> Race::round()
{
    GameSession &session = GameSession::current();
    const RaceHold race;
    bool last = !session.raceRunning();
    for (int slot = 0; slot < GameRoster().count() && slot < MaxContestants; ++slot) {
        side().advance(slot);
        if (progressOf(slot) >= FinishProgress && session.raceRunning()) {
            CurrentRace().standings.finisher = slot;
            co_await finish();
            session.setRaceRunning(false);
            last = true;
        }
    }
    if (!race.goesOn())
        co_return false;
    RankContestants();
    --CurrentRace().questionCountdown;
    if (CurrentRace().questionCountdown < 1 && session.raceRunning() && IsPuzzleGame(CurrentGameType())) {
        co_await side().putQuestions(questions_);
        CurrentRace().questionCountdown = 3;
    }
    co_await Wait(2000);
    if (CurrentGameType() == RandomRaceType)
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

void RankContestants()
{
    RaceStandings &places = CurrentRace().standings;
    places.first = bestSlot(-1, -1);
    places.second = bestSlot(places.first, -1);
    places.third = GameRoster().count() > 2 ? bestSlot(places.first, places.second) : 2;
}

void MoveContestant(int slot, Random &random)
{
    const int count = GameRoster().count();
    if (slot < 0 || slot >= MaxContestants || count < 1)
        return;
    const QSize screen = ScreenSize();
    // Past the finish (or past 100) the character stands at the right edge.
    const qint64 percent = std::clamp<qint64>(progressOf(slot), 0, 100);
    const int targetX = static_cast<int>(screen.width() * percent / 100);
    const int rowTop = slot * (screen.height() / count);
    const QString identity = PlayerIdentity(slot);
    const QPoint at = GameStage().position(identity);
    ContestantRecord &record = Model().contestants[slot];
    if ((at.x() == targetX && record.LastX != 0) || (record.LastX == targetX && at.y() == rowTop)) {
        IdleGesture(slot, random);
        return;
    }
    GameStage().stop(identity);
    GameStage().show(true, identity);
    GameStage().move(targetX, rowTop, identity, 1 + random.below(200));
    record.LastX = targetX;
    CurrentRace().movedSinceCommentary = true;
}

void IdleGesture(int slot, Random &random)
{
    static const char *const gestures[] = {"gestureleft", "idle_1", "surprised", "lookleft", "lookright",
                                           "blink", "lookup", "lookdown", "alert"};
    const int r = random.below(20);
    if (r >= 1 && r <= 9)
        GameStage().act(QLatin1String(gestures[r - 1]), PlayerIdentity(slot));
}

Task<> Race::commentary()
{
    RaceRun &race = CurrentRace();
    if (!(progressOf(race.standings.first) >= 10 && GameSession::current().raceRunning() && race.movedSinceCommentary
          && Model().dexterityCountdown <= 0 && CurrentPlayMode() != PracticeGame))
        co_return;
    race.movedSinceCommentary = false;
    const RaceHold hold;
    co_await WaitForLeftAtLeast(race.standings.first, 250, 20);
    if (!hold.goesOn() || !GameSession::current().raceRunning())
        co_return;   // cancelled or finished meanwhile: nobody leads any more
    const QString announcer = QStringLiteral("Announcer");
    const int count = GameRoster().count();
    const RaceStandings places = race.standings;
    const qint32 first = progressOf(places.first), second = progressOf(places.second), third = progressOf(places.third);
    CharacterStage &stage = GameStage();
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

Task<> WaitForLeftAtLeast(int slot, int polls, int stepMs)
{
    const QString identity = PlayerIdentity(slot);
    const auto leftTheStart = [identity, slot] {
        return !GameStage().loaded(identity) || GameStage().position(identity).x() >= progressOf(slot);
    };
    co_await WaitUntil(leftTheStart, stepMs, polls);
}

// The goodbye and unload steps reach every character the game may have loaded, whatever
// the list holds now (it may have changed since the race).
Task<> GoodbyeStep()
{
    for (int slot = 0; slot < MaxContestants; ++slot) {
        if (slot != CurrentRace().standings.finisher && GameStage().loaded(PlayerIdentity(slot)))
            GameStage().act(QStringLiteral("hide"), PlayerIdentity(slot));
    }
    co_await Wait(2000);
}

Task<> UnloadStep()
{
    // The finisher waves goodbye last; a race cancelled before its finish has none.
    const int finisherSlot = CurrentRace().standings.finisher;
    const QString finisher = PlayerIdentity(finisherSlot);
    if (finisherSlot >= 0)
        GameStage().act(QStringLiteral("wave"), finisher);
    for (int slot = 0; slot < MaxContestants; ++slot) {
        if (slot != finisherSlot)
            GameStage().unload(PlayerIdentity(slot));
    }
    co_await Wait(1000);
    if (finisherSlot >= 0)
        GameStage().act(QStringLiteral("hide"), finisher);
    co_await Wait(1000);
    if (finisherSlot >= 0)
        GameStage().unload(finisher);
    GameStage().unload(QStringLiteral("Announcer"));
}

void UnloadRaceCharacters()
{
    // Every character the game may have loaded, whatever the roster holds now: it may
    // have changed since they were loaded.
    for (int slot = 0; slot < MaxContestants; ++slot)
        GameStage().unload(PlayerIdentity(slot));
    GameStage().unload(QStringLiteral("Announcer"));
}

Task<> Race::tickStep()
{
    if (GameSession::current().raceRunning()) {
        const RaceHold race;
        if (CurrentRace().turn > 9) {
            if (++CurrentRace().commentaryCycles > 3) {
                co_await commentary();
                CurrentRace().commentaryCycles = 0;
            }
            CurrentRace().turn = 0;
        }
        // The commentary may have waited (up to 5 s): a race cancelled or finished
        // meanwhile, its ceremony under way, is not moved again.
        if (race.goesOn() && GameSession::current().raceRunning()) {
            if (CurrentRace().turn < GameRoster().count())
                MoveContestant(CurrentRace().turn, random_);
            ++CurrentRace().turn;
        }
    }
    if (!GameSession::current().raceRunning() && Model().shutdownCountdown > 0) {
        --Model().shutdownCountdown;
        if (Model().shutdownCountdown == 15)
            co_await GoodbyeStep();
        else if (Model().shutdownCountdown == 5)
            co_await UnloadStep();
        else if (Model().shutdownCountdown == 0 && CurrentPlayMode() != PracticeGame)
            TerminateApplication();
    }
}

int RowHeight()
{
    const int count = GameRoster().count();
    return count > 0 ? ScreenSize().height() / count : 0;
}

QPoint ScreenCentre()
{
    return QPoint(ScreenSize().width() / 2, ScreenSize().height() / 2);
}

namespace {
const QString Announcer = QStringLiteral("Announcer");
}

Task<> Race::finish()
{
    GameSession &session = GameSession::current();
    // After each wait: a ceremony cancelled meanwhile plays no further.
    const RaceHold race;
    const auto cancelled = [&race] { return !race.goesOn(); };
    RankContestants();
    // The question on show, a memory test included, ends with the race: nothing is
    // answered or scored during the ceremony.
    questions_.withdraw();
    side().tellFinalPositions();
    co_await WaitForLeftAtLeast(CurrentRace().standings.finisher, 600, 50);
    if (cancelled())
        co_return;
    RankContestants();
    MoveContestant(CurrentRace().standings.first, random_);
    MoveContestant(CurrentRace().standings.second, random_);
    MoveContestant(CurrentRace().standings.third, random_);
    co_await Wait(3000);
    if (cancelled())
        co_return;
    session.setRaceRunning(false);

    const QString finisher = PlayerIdentity(CurrentRace().standings.finisher);
    GameStage().act(QStringLiteral("moveup"), finisher);
    co_await Wait(500);
    if (cancelled())
        co_return;
    GameStage().act(QStringLiteral("pleased"), finisher);
    co_await Wait(2500);
    if (cancelled())
        co_return;
    for (int slot = 0; slot < GameRoster().count(); ++slot)
        GameStage().stop(PlayerIdentity(slot));
    emit raceStep(RaceStep::ScoreboardShown);
    co_await Wait(1000);
    if (cancelled())
        co_return;
    for (int slot = 0; slot < GameRoster().count(); ++slot) {
        if (slot != CurrentRace().standings.finisher)
            GameStage().move(0, slot * RowHeight(), PlayerIdentity(slot), 10);
    }
    co_await WaitUntilIdle(10);
    if (cancelled())
        co_return;
    GameStage().move(ScreenCentre().x(), ScreenCentre().y(), finisher, 100);
    GameStage().act(QStringLiteral("greet"), finisher);
    for (int slot = 0; slot < GameRoster().count(); ++slot) {
        if (slot != CurrentRace().standings.finisher) {
            GameStage().act(QStringLiteral("gestureleft"), PlayerIdentity(slot));
            continue;
        }
        if (CurrentPlayMode() == PracticeGame)
            continue;
        const ContestantItemFields fields = GameRoster().fields(slot);
        const QString name = fields.PlayerName.size() < 2 ? WithoutExtension(fields.CharacterFile).left(35)
                                                          : fields.PlayerName;
        GameStage().move(ScreenCentre().x() - 50, ScreenCentre().y() - 50, Announcer, 100);
        co_await Wait(500);
        co_await GameStage().waitForAudio();
        if (cancelled())
            co_return;
        GameStage().speak(LookupPhrase(QStringLiteral("wn1")) + u' ' + name, Announcer);
        GameStage().act(QStringLiteral("cheer"), Announcer);
    }
    GameStage().act(QStringLiteral("congratulate"), finisher);
    co_await Wait(1000);
    if (cancelled())
        co_return;
    for (int slot = 0; slot < GameRoster().count(); ++slot) {
        if (slot != CurrentRace().standings.finisher)
            GameStage().act(QStringLiteral("pleased"), PlayerIdentity(slot));
    }
}

Task<bool> WaitUntilIdle(int seconds)
{
    return WaitUntil([] { return GameStage().idle(); }, 250, 4 * seconds);
}
