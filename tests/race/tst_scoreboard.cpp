// The scoreboard's rules, with no window: which places show for how many contestants,
// and what each place reads.
#include "Scoreboard.h"

#include <QTest>

class TestScoreboard : public QObject
{
    Q_OBJECT
private slots:
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

QTEST_GUILESS_MAIN(TestScoreboard)
#include "tst_scoreboard.moc"
