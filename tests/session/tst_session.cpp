// The roster as a list model (its signals, its rows' text, a full roster) and the play
// settings' signals, without a window.
#include "GameSession.h"
#include "PlayControls.h"
#include "PlaySettings.h"
#include "Roster.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void rosterModel()
    {
        RaceModel records;
        Roster roster(records);
        QAbstractItemModelTester tester(&roster, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&roster, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&roster, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&roster, &QAbstractItemModel::dataChanged);

        QCOMPARE(roster.append({QStringLiteral("40001"), QStringLiteral("Robin"), QStringLiteral("Pip.acs")}), 0);
        QCOMPARE(roster.append({QStringLiteral(" "), QStringLiteral("Jo\tX"), QStringLiteral("Bolt.acs")}), 1);
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(inserted.at(1).at(1).toInt(), 1);
        // The list text the main window shows (and the end-to-end tests read).
        QCOMPARE(roster.index(0).data().toString(), QStringLiteral("40001\tRobin\tPip.acs"));
        QCOMPARE(roster.index(1).data().toString(), QStringLiteral(" \tJo X\tBolt.acs"));
        QCOMPARE(roster.index(1).data(Roster::CharacterFileRole).toString(), QStringLiteral("Bolt.acs"));

        // A slot's state shows in its row (its colour), once per change.
        roster.setSlotState(1, SlotReady);
        roster.setSlotState(1, SlotReady);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), roster.index(1));
        QCOMPARE(changed.at(0).at(2).value<QList<int>>(), QList<int>{Roster::SlotStateRole});
        QCOMPARE(roster.index(1).data(Roster::SlotStateRole).toInt(), int(SlotReady));

        // A full roster gives no slot and adds no row (it has no boxes: the caller tells).
        for (int i = 2; i < MaxContestants; ++i)
            QVERIFY(roster.append({QString::number(i), QStringLiteral("P"), QStringLiteral("p.acs")}));
        inserted.clear();
        QVERIFY(!roster.add(QStringLiteral("Late"), QStringLiteral("999"), QStringLiteral("Late.acs")));
        QVERIFY(!roster.append({QStringLiteral("999"), QStringLiteral("Late"), QStringLiteral("Late.acs")}));
        QCOMPARE(inserted.size(), 0);
        QCOMPARE(roster.rowCount(), MaxContestants);

        roster.clear();
        roster.reset();
        QCOMPARE(reset.size(), 2);
        QCOMPARE(roster.rowCount(), 0);
        QCOMPARE(records.contestants[1].Confirmed, SlotUnconfirmed);
    }

    void playSettingsSignalOnChangeOnly()
    {
        PlaySettings settings;
        QSignalSpy modes(&settings, &PlaySettings::playModeChanged);
        QSignalSpy levels(&settings, &PlaySettings::difficultyChanged);
        settings.setPlayMode(HostGame);
        settings.setPlayMode(HostGame);
        settings.setDifficulty(Moderate);   // the first setting
        settings.setDifficulty(Easy);
        QCOMPARE(modes.size(), 1);
        QCOMPARE(levels.size(), 1);
        QCOMPARE(levels.at(0).at(0).value<Difficulty>(), Easy);
    }

    void playModeTable_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("shown");   // the mode-dependent controls that are shown
        QTest::newRow("none") << -1 << "";
        QTest::newRow("join") << 0 << "request";
        QTest::newRow("host") << 1 << "start type difficulty invite";
        QTest::newRow("local") << 2 << "add start";
        QTest::newRow("practice") << 3 << "start type difficulty";
    }
    void playModeTable()
    {
        QFETCH(int, mode);
        QFETCH(QString, shown);
        PlaySettings settings;
        settings.setPlayMode(LocalRace);
        PlayControls controls(settings);
        QSignalSpy changed(&controls, &PlayControls::changed);
        settings.setPlayMode(PlayMode(mode));   // however the settings change, the controls follow
        QCOMPARE(changed.size(), mode == LocalRace ? 0 : 1);
        const PlayControlSet set = controls.shown();
        const QList<QPair<QString, bool>> named = {{"request", set.requestPlay}, {"add", set.addCharacters},
                                                   {"start", set.startGame},     {"type", set.gameType},
                                                   {"difficulty", set.difficulty}, {"invite", set.invite}};
        const QStringList expected = shown.split(u' ', Qt::SkipEmptyParts);
        for (const auto &[name, on] : named)
            QVERIFY2(on == expected.contains(name), qPrintable(name));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
