// parse() and serialize(): every datagram the game sends reads back to the same bytes,
// and an odd or malformed one reads as the game has always taken it.
#include "Messages.h"

#include <QTest>

class TestMessageText : public QObject
{
    Q_OBJECT
private slots:
    void readAndWritten_data();
    void readAndWritten();
};

void TestMessageText::readAndWritten_data()
{
    QTest::addColumn<QString>("datagram");
    QTest::addColumn<QString>("written");   // serialize(parse(datagram)); null: dropped

    const QString emptySlots = QStringLiteral("&& && && ").repeated(4);
    // The texts the game sends travel unchanged.
    const QStringList sent = {
        QStringLiteral("RQHosty&&50005&&Pip.acs"),
        QStringLiteral("RQ\\map=\"Rob in\"=\"Robin\"\\&&40001&&Pip.acs"),
        QStringLiteral("RAHosty"),
        QStringLiteral("RDHosty&&rx5"),
        QStringLiteral("RRHosty"),
        QStringLiteral("RTHosty&&Host: Hosty 50005\r\nSimple Math\r\nEasy"),
        QStringLiteral("RSHosty&&50005&&Hosty&&Pip.acs&&60006&&Jo&&Bolt.acs") + emptySlots,
        QStringLiteral("SRHosty"),
        QStringLiteral("RPHosty&&10&&20&&30&&0&&0&&0&&7"),
        QStringLiteral("RZHost&&MA&&7&&3 + 4&&5"),
        QStringLiteral("RBJo&&60006&&42&&2"),
        QStringLiteral("RBAl&&70007&&dexteritytest"),
        QStringLiteral("RKJo&&60006&&17&&3"),
        QStringLiteral("RCHosty"),
        QStringLiteral("AKHosty"),
        QStringLiteral("GPHosty&&50005"),
        QStringLiteral("GPHosty&&50005&&Hosty"),
        QStringLiteral("MEHosty&&\r\n$$UIN50005\r\n &&\r\n \r\n&&getattention\r\nHosty, join us"),
    };
    for (const QString &datagram : sent)
        QTest::newRow(qPrintable(datagram.left(2) + QStringLiteral(" as sent"))) << datagram << datagram;

    const QString dropped;
    QTest::newRow("too short") << QStringLiteral("R") << dropped;
    QTest::newRow("unknown code") << QStringLiteral("XYHost&&1") << dropped;
    QTest::newRow("RQ without character") << QStringLiteral("RQ40001") << dropped;
    QTest::newRow("RQ blank character") << QStringLiteral("RQSam&&40001&& ") << dropped;
    QTest::newRow("RQ UIN not digits") << QStringLiteral("RQSam&&4000a&&Pip.acs") << dropped;
    QTest::newRow("RQ path") << QStringLiteral("RQSam&&40001&&../chars/Pip.acs") << QStringLiteral("RQSam&&40001&&Pip.acs");
    QTest::newRow("RS short") << QStringLiteral("RSH&&1&&X&&Zed.acs") << dropped;
    QTest::newRow("RS cut") << QStringLiteral("RSH&&1234567890123456789&&") + QString(40, u'n')
                                   + QStringLiteral("&&a/b/Zed.acs") + emptySlots + QStringLiteral("&& && && ")
                            << QStringLiteral("RSH&&123456789012345&&") + QString(35, u'n') + QStringLiteral("&&Zed.acs")
                                   + emptySlots + QStringLiteral("&& && && ");
    // A missing field reads as the last one again; without "&&" that is the sender's name.
    QTest::newRow("RP short") << QStringLiteral("RPH&&50&&50") << QStringLiteral("RPH&&50&&50&&50&&50&&50&&50");
    QTest::newRow("RP name only") << QStringLiteral("RP50") << QStringLiteral("RP50&&50&&50&&50&&50&&50&&50");
    QTest::newRow("RP bounds") << QStringLiteral("RPH&&2000000000&&-5&&x&&0&&0&&0&&9x")
                               << QStringLiteral("RPH&&200&&0&&0&&0&&0&&0&&0");
    QTest::newRow("RD name only") << QStringLiteral("RDHost") << QStringLiteral("RDHost&&Hos");
    QTest::newRow("RZ short") << QStringLiteral("RZHost&&MA&&5") << QStringLiteral("RZHost&&MA&&5&&5");
    QTest::newRow("RZ number too long") << QStringLiteral("RZHost&&MA&&5&&2+3&&1234567890")
                                        << QStringLiteral("RZHost&&MA&&5&&2+3");
    QTest::newRow("RB odd number") << QStringLiteral("RBAl&&70007&&9&&07") << QStringLiteral("RBAl&&70007&&9&&-1");
    QTest::newRow("GP cut") << QStringLiteral("GPH&&1234567890123456789&&") + QString(50, u'n')
                            << QStringLiteral("GPH&&123456789012345&&") + QString(40, u'n');
    QTest::newRow("ME out of frame") << QStringLiteral("MEHost&&hello") << dropped;
}

void TestMessageText::readAndWritten()
{
    QFETCH(QString, datagram);
    QFETCH(QString, written);
    const std::optional<Message> message = Msg::parse(datagram);
    QCOMPARE(message.has_value(), !written.isNull());
    if (message)
        QCOMPARE(serialize(*message), written);
}

QTEST_GUILESS_MAIN(TestMessageText)
#include "tst_message_text.moc"
