// The roster of contestants and the online buddies.
#include "AppTestFolder.h"

#include "GameSession.h"
#include "InviteList.h"
#include "MainWindow.h"
#include "OnlineBuddies.h"
#include "PlayRequests.h"
#include "PlaySettingsRules.h"
#include "Race.h"
#include "MessageBoxes.h"
#include "RaceModel.h"
#include "RadioGroup.h"
#include "records.h"
#include "RosterList.h"
#include "TestGame.h"
#include "Utilities.h"

#include <QFile>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QtTest>

#include <memory>

// The boxes main hands the game (they go to the answerers below).
ScreenDialogs screenDialogs;

class TestRoster : public QObject
{
    Q_OBJECT
    std::unique_ptr<AppTestFolder> folder;
    TestGame game;
    Race &race = game.race;   // the race the windows start and follow
    InviteList invites;
    PlayRequests playRequests{race, game.session, game.settings, game.roster, game.dialogs, invites, game.dispatcher};
    std::unique_ptr<MainWindow> form;
    QStringList messages;
    QStringList picks;   // what the character dialog "picks", in turn

    QString slotFile(int i) const { return SplitContestantItem(form->Contestants->model()->index(i, 0).data().toString()).CharacterFile; }

    void writeMessengerLists(const QList<Records::CheckedUserRecord> &checked,
                             const QList<Records::UinAddressRecord> &addresses, const QByteArray &online)
    {
        QByteArray checkedBytes, addressBytes;
        for (const auto &r : checked)
            checkedBytes += r.encode();
        for (const auto &r : addresses)
            addressBytes += r.encode();
        // As the messenger writes them: each a new file renamed over the old, online.txt last.
        for (const auto &[name, bytes] : {std::pair{"checkedusr.lst", checkedBytes}, {"UINIP.lst", addressBytes},
                                          {"online.txt", online}}) {
            QSaveFile file(folder->program() + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit());
        }
    }

private slots:
    void initTestCase()
    {
        FollowPlaySettings(race, game.settings);   // the race's rules follow the settings
        folder = std::make_unique<AppTestFolder>(QStringList{"a1.acs", "a2.acs", "a3.acs", "a4.acs", "a5.acs",
                                                             "a6.acs", "a7.acs", "a8.acs"});
        SetMessageBoxAnswerer([this](BoxKind kind, const QString &text) {
            QCOMPARE(kind, BoxKind::Error);
            messages.append(text);
        });
        game.dialogs.use(&screenDialogs);
    }

    void init()
    {
        messages.clear();
        picks.clear();
        Records::Options = Records::OptionsRecord();
        game.roster.reset();
        const CharacterFilePicker picker([this](const QString &start, const QString &filter) {
            [&] {
                QCOMPARE(start, WindowsFolder() + QStringLiteral("MSAgent\\Chars"));
                QCOMPARE(filter, QStringLiteral("*.acs"));
            }();
            return picks.isEmpty() ? QString() : picks.takeFirst();
        });
        form = std::make_unique<MainWindow>(race, playRequests, picker);
        form->PlayModeGroup->setItemIndex(2);
    }

    void cleanup() { form.reset(); }

    void sixContestantsThenTheButtonGoes()
    {
        for (int i = 1; i <= 6; ++i) {
            picks.append(folder->characters() + QStringLiteral("a%1.acs").arg(i));
            QVERIFY(!form->AddCharacterBtn->isHidden());
            form->AddCharacterBtn->click();
        }
        QCOMPARE(form->Contestants->model()->rowCount(), 6);
        QVERIFY(form->AddCharacterBtn->isHidden());
        QCOMPARE(form->Contestants->model()->index(2, 0).data().toString(), QStringLiteral(" \ta3\ta3.acs"));
        QCOMPARE(game.model.contestants[2].PlayerName, QStringLiteral("a3"));
        QCOMPARE(game.model.contestants[2].Uin, QStringLiteral(" "));
        QVERIFY(messages.isEmpty());

        // A seventh from any path is refused and changes nothing; a pick from a dialog
        // that was open while the roster filled tells the user.
        const QString before = form->Contestants->model()->index(5, 0).data().toString();
        game.model.contestants[0].Confirmed = SlotReady;
        QVERIFY(!game.roster.add(QStringLiteral("Late"), QStringLiteral("999"), QStringLiteral("a7.acs")));
        picks.append(folder->characters() + QStringLiteral("a7.acs"));
        form->AddCharacterBtn->click();
        QCOMPARE(messages, QStringList{QStringLiteral("We have the maximum number of Contestants.")});
        QCOMPARE(form->Contestants->model()->rowCount(), 6);
        QCOMPARE(form->Contestants->model()->index(5, 0).data().toString(), before);
        QCOMPARE(game.model.contestants[0].Confirmed, quint8(1));
        QVERIFY(!game.roster.hasUin(QStringLiteral("999")));
    }

    void cancelledDialogAddsNothing()
    {
        form->AddCharacterBtn->click();
        QCOMPARE(form->Contestants->model()->rowCount(), 0);
        QVERIFY(!form->AddCharacterBtn->isHidden());
    }

    void takenOrMissingCharacterIsReplaced()
    {
        Records::Options.UserCharacterFile = WindowsFolder() + QStringLiteral("Msagent\\chars\\a8.acs");
        game.roster.add(QStringLiteral("One"), QStringLiteral("1"), QStringLiteral("a1.acs"));
        const int second = game.roster.add(QStringLiteral("Two"), QStringLiteral("2"), QStringLiteral("A1.ACS")).value();
        QCOMPARE(second, 1);
        const QString replaced = slotFile(1);
        QVERIFY(!replaced.isEmpty());
        QVERIFY(replaced != QStringLiteral("a1.acs"));
        QVERIFY(replaced != QStringLiteral("a8.acs"));   // the user's own character stays free
        QVERIFY(QFile::exists(folder->characters() + replaced));
        QCOMPARE(game.model.contestants[1].CharacterFile, replaced);

        const int third = game.roster.add(QStringLiteral("Three"), QStringLiteral("3"), QStringLiteral("gone.acs")).value();
        QVERIFY(slotFile(third) != QStringLiteral("gone.acs"));
        QVERIFY(QFile::exists(folder->characters() + slotFile(third)));
        QVERIFY(!game.roster.hasCharacter(QStringLiteral("gone.acs")));
        QVERIFY(game.roster.hasCharacter(QStringLiteral("A1.acs")));
    }

    void noFreeCharacterGivesEmpty()
    {
        Records::Options.UserCharacterFile = WindowsFolder() + QStringLiteral("Msagent\\chars\\a8.acs");
        for (int i = 1; i <= 6; ++i)
            game.roster.add(QStringLiteral("P%1").arg(i), QString::number(i), QStringLiteral("a%1.acs").arg(i));
        folder->removeCharacter(QStringLiteral("a7.acs"));
        // Every file is now the user's own or in the roster: the search must end, empty.
        QVERIFY(game.roster.randomFreeCharacter().isEmpty());
        folder->addCharacter(QStringLiteral("a7.acs"));
        QCOMPARE(game.roster.randomFreeCharacter(), WindowsFolder() + QStringLiteral("Msagent\\chars\\a7.acs"));
    }

    void splitAndLookup()
    {
        const ContestantItemFields full = SplitContestantItem(QStringLiteral("1234567890123456\tName\tfile.acs"));
        QCOMPARE(full.Uin, QStringLiteral("123456789012345"));
        QCOMPARE(full.PlayerName, QStringLiteral("Name"));
        QCOMPARE(full.CharacterFile, QStringLiteral("file.acs"));
        const ContestantItemFields oneTab = SplitContestantItem(QStringLiteral("12\tName only"));
        QCOMPARE(oneTab.PlayerName, QStringLiteral("Name only"));
        QVERIFY(oneTab.CharacterFile.isEmpty());
        const ContestantItemFields none = SplitContestantItem(QStringLiteral("12"));
        QCOMPARE(none.Uin, QStringLiteral("12"));
        QVERIFY(none.PlayerName.isEmpty() && none.CharacterFile.isEmpty());
        const ContestantItemFields longName = SplitContestantItem(QStringLiteral("1\t") + QString(50, u'n') + QStringLiteral("\tf"));
        QCOMPARE(longName.PlayerName.size(), 35);

        game.roster.add(QStringLiteral("Sam"), QStringLiteral("40002"), QStringLiteral("a2.acs"));
        QVERIFY(game.roster.hasUin(QStringLiteral("40002")));
        QVERIFY(!game.roster.hasUin(QStringLiteral("4000")));
        QVERIFY(!game.roster.hasUin(QStringLiteral("400021")));
    }

    void namesCannotBreakTheItem()
    {
        const int slot = game.roster.add(QStringLiteral("Evil\tName\twith tabs"), QStringLiteral("5"), QStringLiteral("a3.acs")).value();
        const ContestantItemFields fields = SplitContestantItem(form->Contestants->model()->index(slot, 0).data().toString());
        QCOMPARE(fields.Uin, QStringLiteral("5"));
        QCOMPARE(fields.CharacterFile, QStringLiteral("a3.acs"));
        QCOMPARE(fields.PlayerName, game.model.contestants[slot].PlayerName);
        const int longSlot = game.roster.add(QString(60, u'x'), QString(20, u'9'), QStringLiteral("a4.acs")).value();
        QCOMPARE(game.model.contestants[longSlot].PlayerName.size(), 35);
        QCOMPARE(game.model.contestants[longSlot].Uin.size(), 15);
    }

    void shownName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "Robin" << "Robin";
        QTest::newRow("tag") << "\\map=\"Robbin\"=\"Robin\"\\" << "Robin";
        QTest::newRow("unclosed") << "\\map=\"Robbin\"=\"Robin" << "\\map=\"Robbin\"=\"Robin";
        QTest::newRow("empty shown") << "\\map=\"x\"=\"\"\\" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("closing beyond 100") << "\"=\"" + QString(101, u'a') + "\"\\" << "\"=\"" + QString(101, u'a') + "\"\\";
    }

    void shownName()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(ShownName(text), shown);
    }

    void addedNameIsTheShownPart()
    {
        const int slot = game.roster.add(QStringLiteral("\\map=\"Robbin\"=\"Robin\"\\"), QStringLiteral("7"), QStringLiteral("a5.acs")).value();
        QCOMPARE(game.model.contestants[slot].PlayerName, QStringLiteral("Robin"));
    }

    void onlineBuddies()
    {
        Records::CheckedUserRecord sam{QStringLiteral("40002"), 1};
        Records::CheckedUserRecord alex{QStringLiteral("40003"), 1};
        Records::CheckedUserRecord jo{QStringLiteral("40004"), 0};
        Records::CheckedUserRecord lee{QStringLiteral("40005"), 1};
        Records::CheckedUserRecord away{QStringLiteral("40006"), 1};
        Records::UinAddressRecord samIp{40002, QStringLiteral("127.0.0.2")};
        Records::UinAddressRecord joIp{40004, QStringLiteral("127.0.0.4")};
        Records::UinAddressRecord awayIp{40006, QStringLiteral("127.0.0.6")};
        Records::UinAddressRecord alexIp{40003, QStringLiteral("127.0.0.3")};
        writeMessengerLists({sam, alex, jo, lee, away}, {samIp, joIp, awayIp, alexIp},
                            "Sam\t40002\tonline\t\t+\r\n"
                            "Jo\t40004\tonline\t\t+\r\n"        // unchecked in checkedusr.lst
                            "Lee\t40005\tonline\t\t+\r\n"       // no address
                            "Away\t40006\tonline\t\t=\r\n"      // fifth field "="
                            "Nobody\t40099\tonline\t\t+\r\n"    // unknown
                            "Alex\t40003\tonline\t\t=x\r\n"
                            "garbage line without tabs\r\n");
        invites.setBuddies({{QStringLiteral("old"), QStringLiteral("item")}});
        QCoro::waitFor(BuildOnlineBuddies(invites));
        QVERIFY(!QFile::exists(folder->program() + QStringLiteral("online.txt")));
        // The main window's list shows the invite list, sorted, each buddy checked.
        const QAbstractItemModel *shown = form->BuddyList->model();
        QCOMPARE(shown, &invites);
        QCOMPARE(shown->rowCount(), 2);
        QCOMPARE(shown->index(0, 0).data().toString(), QStringLiteral("40002  Sam"));
        QCOMPARE(shown->index(1, 0).data().toString(), QStringLiteral("40003  Alex"));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(shown->index(i, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));

        QFile list(folder->program() + QStringLiteral("onlinelist.lst"));
        QVERIFY(list.open(QIODevice::ReadOnly));
        const QByteArray bytes = list.readAll();
        QCOMPARE(bytes.size(), 2 * Records::OnlineBuddyRecord::Size);
        const auto first = Records::OnlineBuddyRecord::decode(bytes.left(Records::OnlineBuddyRecord::Size));
        QCOMPARE(first.Address, QStringLiteral("127.0.0.2"));
        QCOMPARE(first.Uin, QStringLiteral("40002"));
        QCOMPARE(first.BuddyName, QStringLiteral("Sam"));

        QVERIFY(invites.checked(QStringLiteral("40003")));
        // A click on the check box, as the user unchecks a buddy.
        form->show();
        const QRect row = form->BuddyList->visualRect(shown->index(1, 0));
        QStyleOptionViewItem option;
        option.initFrom(form->BuddyList);
        option.rect = row;
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = form->BuddyList->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option,
                                                                   form->BuddyList);
        QTest::mouseClick(form->BuddyList->viewport(), Qt::LeftButton, {}, box.center());
        QVERIFY(!invites.checked(QStringLiteral("40003")));
        QVERIFY(invites.checked(QStringLiteral("40002")));
        form->hide();

        // Without online.txt the list stays as it was.
        QCoro::waitFor(BuildOnlineBuddies(invites));
        QCOMPARE(shown->rowCount(), 2);

        // While the game runs: Kim comes online, then Sam goes offline; Alex keeps the
        // check mark taken off above, Kim gets one.
        OnlineBuddiesWatch watch(invites);
        watch.start();
        Records::CheckedUserRecord kim{QStringLiteral("40007"), 1};
        Records::UinAddressRecord kimIp{40007, QStringLiteral("127.0.0.7")};
        const auto listed = [shown] {
            QStringList items;
            for (int i = 0; i < shown->rowCount(); ++i) {
                const QModelIndex item = shown->index(i, 0);
                items << item.data().toString() + (item.data(Qt::CheckStateRole).toInt() == Qt::Checked ? " +" : " -");
            }
            return items;
        };
        writeMessengerLists({sam, alex, kim}, {samIp, alexIp, kimIp},
                            "Sam\t40002\tonline\t\t+\r\nAlex\t40003\tonline\t\t+\r\nKim\t40007\tonline\t\t+\r\n");
        QTRY_COMPARE(listed(), (QStringList{"40002  Sam +", "40003  Alex -", "40007  Kim +"}));
        writeMessengerLists({sam, alex, kim}, {samIp, alexIp, kimIp},
                            "Sam\t40002\toffline\t\t=\r\nAlex\t40003\tonline\t\t+\r\nKim\t40007\tonline\t\t+\r\n");
        QTRY_COMPARE(listed(), (QStringList{"40003  Alex -", "40007  Kim +"}));
        // An online.txt past its bound is refused whole (and goes): the list stays.
        writeMessengerLists({sam, alex, kim}, {samIp, alexIp, kimIp},
                            "Sam\t40002\tonline\t\t+\r\n" + QByteArray(300 * 1024, ' ') + "\r\n");
        QTRY_VERIFY(!QFile::exists(folder->program() + QStringLiteral("online.txt")));
        QCOMPARE(listed(), (QStringList{"40003  Alex -", "40007  Kim +"}));
    }

    void contestantColours()
    {
        QCOMPARE(ColorFromBgr(0xC1FFFF), QColor(255, 255, 193));
        QCOMPARE(ColorFromBgr(0x800000), QColor(0, 0, 128));
        game.roster.add(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("a1.acs"));
        game.roster.add(QStringLiteral("B"), QStringLiteral("2"), QStringLiteral("a2.acs"));
        game.roster.add(QStringLiteral("C"), QStringLiteral("3"), QStringLiteral("a3.acs"));
        game.model.contestants[1].Confirmed = SlotQuestionOutstanding;
        form->Contestants->setCurrentIndex(form->Contestants->model()->index(2, 0));
        form->show();
        QCOMPARE(form->Contestants->visualRect(form->Contestants->model()->index(1, 0)).height(), 13);
        const QImage image = form->Contestants->viewport()->grab().toImage();
        auto fillOf = [&](int row) {
            const QRect r = form->Contestants->visualRect(form->Contestants->model()->index(row, 0));
            return QColor(image.pixel(r.right() - 2, r.top() + 1));
        };
        QCOMPARE(fillOf(0), QColor(255, 255, 193));   // pale yellow
        QCOMPARE(fillOf(1), QColor(0, 255, 0));       // lime: confirmed
        QCOMPARE(fillOf(2), QColor(0, 0, 255));       // blue: selected
        QCOMPARE(ContestantItemColors(game.roster, 0, false).text, QColor(0, 0, 128));
        QCOMPARE(ContestantItemColors(game.roster, 2, true).text, QColor(255, 255, 255));
    }
};

QTEST_MAIN(TestRoster)
#include "tst_roster.moc"
