// The race's rules with no window: which places the scoreboard shows for how many
// contestants and what each place reads, and the play settings' rules, which run however
// the settings change.
#include "GameSession.h"
#include "PlaySettingsRules.h"
#include "Race.h"
#include "records.h"
#include "Roster.h"
#include "Scoreboard.h"
#include "TestGame.h"

#include <QTest>

class TestRaceRules : public QObject
{
    Q_OBJECT
private slots:
    void playSettingsRulesRunOnEveryChange()
    {
        TestGame game;
        PlaySettings &settings = game.settings;
        FollowPlaySettings(game.race, settings);
        Records::Options.UserName = QStringLiteral("Robin");
        Records::Options.UserUin = 50005;
        // A mode set from code, as a click would: the player here is the first contestant.
        settings.setPlayMode(PracticeGame);
        QCOMPARE(game.roster.count(), 1);
        QVERIFY(game.roster.hasUin(QStringLiteral("50005")));
        // A local race is a Random Race, and a Random Race is Easy.
        settings.setPlayMode(LocalRace);
        QCOMPARE(game.roster.count(), 0);
        QCOMPARE(settings.gameType(), RandomRaceType);
        QCOMPARE(settings.difficulty(), Easy);
        settings.setPlayMode(HostGame);
        settings.setDifficulty(Difficult);   // still a Random Race
        QCOMPARE(settings.difficulty(), Easy);
        settings.setGameType(MixedProblemsType);
        settings.setDifficulty(Difficult);
        QCOMPARE(settings.difficulty(), Difficult);
        settings.setGameType(RandomRaceType);
        QCOMPARE(settings.difficulty(), Easy);
        // No mode: the roster stays as it is.
        settings.setPlayMode(NoPlayMode);
        QCOMPARE(game.roster.count(), 1);
    }

    void placesFollowTheNumberOfContestants()
    {
        ContestantRecord records[MaxContestants];
        records[0] = {QStringLiteral("Pip.acs"), QStringLiteral("Robin"), {}, {}};
        records[1] = {QStringLiteral("Bolt.acs"), QStringLiteral("Sam"), {}, {}};
        records[2] = {QStringLiteral("Odd.name.acs"), QStringLiteral("Kim"), {}, {}};
        const RaceStandings standings{2, 0, 1, 2};
        // Alone, or nobody: no scoreboard.
        QVERIFY(!ScoreboardOf(0, standings, records));
        QVERIFY(!ScoreboardOf(1, standings, records));
        // Two: win and place, no third place.
        const std::optional<Scoreboard> two = ScoreboardOf(2, RaceStandings{1, 0, 0, 1}, records);
        QVERIFY(two);
        QCOMPARE(two->win, QStringLiteral("Sam (Bolt)"));
        QCOMPARE(two->place, QStringLiteral("Robin (Pip)"));
        QVERIFY(!two->show);
        // More than two: the third place too; only the last extension goes.
        const std::optional<Scoreboard> three = ScoreboardOf(3, standings, records);
        QVERIFY(three && three->show);
        QCOMPARE(three->win, QStringLiteral("Kim (Odd.name)"));
        QCOMPARE(*three->show, QStringLiteral("Sam (Bolt)"));
        // A slot outside the records reads nothing rather than another's record.
        QCOMPARE(ScoreboardOf(3, RaceStandings{MaxContestants, -1, 0, 0}, records)->win, QString());
    }
};

QTEST_GUILESS_MAIN(TestRaceRules)
#include "tst_race_rules.moc"
