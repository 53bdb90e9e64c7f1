#include "DataFiles.h"
#include "GameMessages.h"
#include "GameParts.h"
#include "GameTransport.h"
#include "NetTestFolder.h"
#include "records.h"
#include "Utilities.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

// The datagram transport on loopback: this game on 127.0.0.31, other machines on
// 127.0.0.32 to 127.0.0.35 (addresses no other test uses).
namespace {
const QString Game = QStringLiteral("127.0.0.31");
const QString PeerA = QStringLiteral("127.0.0.32");
const QString PeerB = QStringLiteral("127.0.0.33");
constexpr quint16 GamePortNumber = 4512;
constexpr quint16 MessengerPortNumber = 4510;

// Another program (flock of util-linux) holding a file locked until released.
class HeldByAnother
{
public:
    explicit HeldByAnother(const QString &path)
    {
        holder.start(QStringLiteral("flock"), {path, QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo held; exec cat")});
        holding = holder.waitForReadyRead(10000) && holder.readAllStandardOutput() == "held\n";
    }
    ~HeldByAnother() { release(); }
    void release()
    {
        holder.closeWriteChannel();   // cat ends, and flock lets go
        holder.waitForFinished(10000);
    }
    bool holding = false;

private:
    QProcess holder;
};

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT
private:
    GameParts game;   // its dispatcher takes what the transport takes in
    NetTestFolder *folder = nullptr;
    MessengerParameters *files = nullptr;   // keeps the parameters read
    GameTransport *form = nullptr;
    QSignalSpy *accepted = nullptr;

    // Sends bytes from a peer to the game and waits for the game to take them in.
    QList<QList<QVariant>> deliver(Peer &peer, const QList<QByteArray> &texts, int expected)
    {
        accepted->clear();
        for (const QByteArray &text : texts)
            peer.send(text, Game, GamePortNumber);
        // Every datagram is read before the marker, which is always new.
        static int marker = 0;
        peer.send("ZZmarker" + QByteArray::number(++marker), Game, GamePortNumber);
        (void)QTest::qWaitFor([&] { return accepted->size() >= expected + 1; }, 10000);
        QList<QList<QVariant>> result(accepted->begin(), accepted->end());
        if (!result.isEmpty())
            result.removeLast();
        return result;
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void repeatFilterWindow();
    void receivePath();
    void sendsLeaveFromTheGamePort();
    void nothingIsLostWhileSending();
    void messengerText();
    void resolveAddress();
    void sendsWithTheParametersHeld();
    void bindsOnceTheParametersAreRead();
    void portsDefaultWhenMissing();
};

void TestTransport::initTestCase()
{
    folder = new NetTestFolder(GamePortNumber, MessengerPortNumber);
    qputenv("HOLLYFROST_BIND_ADDRESS", Game.toLatin1());
    Records::Options.DisplayName = QStringLiteral("Robin");
    Records::Options.UserUin = 40001;
    files = new MessengerParameters;
    form = new GameTransport(game.receiver(), *files);
    game.transport.use(form);
    form->StartListening();
    QVERIFY2(form->Listening(), "the game port is bound");
    accepted = new QSignalSpy(form, &GameTransport::datagramAccepted);
}

void TestTransport::cleanupTestCase()
{
    delete accepted;
    delete form;
    delete files;
    delete folder;
}

void TestTransport::repeatFilterWindow()
{
    RepeatFilter filter;
    const qint64 window = RepeatFilter::windowMs();
    QVERIFY(filter.accept(PeerA, "RBx&&1", 1000));
    QVERIFY(!filter.accept(PeerA, "RBx&&1", 1000 + window / 2));   // a repeat inside the window
    QVERIFY(!filter.accept(PeerA, "RBx&&1", 1000 + window));       // its end still counts
    QVERIFY(filter.accept(PeerA, "RBx&&1", 1000 + window + 1000));  // after it: again
    QVERIFY(filter.accept(PeerB, "RBx&&1", 1000 + window + 1001));  // another address
    QVERIFY(filter.accept(PeerA, "RBx&&1", 1000 + window + 1002));  // the last one stored wins
    QVERIFY(filter.accept(PeerA, "RBx&&2", 1000 + window + 1003));
    // Acknowledgements always pass and do not take the stored place.
    QVERIFY(filter.accept(PeerA, "AKJo", 5000 + window));
    QVERIFY(filter.accept(PeerA, "AKJo", 5001 + window));
    QVERIFY(!filter.accept(PeerA, "RBx&&2", 5002 + window));
    // Past 255 characters of address + text nothing is a repeat.
    const QString longText = QStringLiteral("RT") + QString(300, u'x');
    QVERIFY(filter.accept(PeerA, longText, 0));
    QVERIFY(filter.accept(PeerA, longText, 1));
}

void TestTransport::receivePath()
{
    Peer a(PeerA, 0), b(PeerB, 0);
    QVERIFY(a.bound() && b.bound());
    // Two identical datagrams from one address: once; the same from another address: again.
    auto got = deliver(a, {"XXsame", "XXsame"}, 1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0][0].toString(), PeerA);
    QCOMPARE(got[0][1].toString(), QStringLiteral("XXsame"));
    got = deliver(b, {"XXsame"}, 1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0][0].toString(), PeerB);
    // The size limit: 1517 bytes pass, one more is dropped whole.
    got = deliver(a, {QByteArray(1518, 'L'), QByteArray(1517, 'K')}, 1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0][1].toString().size(), 1517);
    // Exact bytes: a zero byte stays a character; empty and one-byte datagrams pass through.
    got = deliver(a, {QByteArray("RT\0x&&y", 7), QByteArray("R"), QByteArray()}, 3);
    QCOMPARE(got.size(), 3);
    QCOMPARE(got[0][1].toString(), QString::fromLatin1("RT\0x&&y", 7));
    QCOMPARE(got[1][1].toString(), QStringLiteral("R"));
    QCOMPARE(got[2][1].toString(), QString());
    // A read notice that finds nothing left to read (the event loop may deliver one late,
    // after a read that emptied the socket) leaves the socket listening.
    for (QSocketNotifier *notifier : form->findChildren<QSocketNotifier *>()) {
        if (notifier->type() == QSocketNotifier::Read) {
            QEvent notice(QEvent::SockAct);
            QCoreApplication::sendEvent(notifier, &notice);
        }
    }
    got = deliver(a, {"XXafter", "XXagain"}, 2);
    QCOMPARE(got.size(), 2);
}

void TestTransport::sendsLeaveFromTheGamePort()
{
    Peer a(PeerA, GamePortNumber);
    QVERIFY(a.bound());
    game.transport.send(QStringLiteral("RR"), PeerA, QString());
    game.transport.send(QStringLiteral("RQ"), PeerA, QStringLiteral("&&40001&&Pip.acs"));
    game.transport.send(QStringLiteral("RQ"), QString(), QStringLiteral("&&nowhere"));   // nothing
    const QList<QNetworkDatagram> got = a.receive(2);
    QCOMPARE(a.texts(got), (QList<QByteArray>{"RRRobin", "RQRobin&&40001&&Pip.acs"}));
    for (const QNetworkDatagram &datagram : got) {
        QCOMPARE(datagram.senderPort(), int(GamePortNumber));
        QCOMPARE(datagram.senderAddress(), QHostAddress(Game));
    }
    QVERIFY(a.drain().isEmpty());
}

void TestTransport::nothingIsLostWhileSending()
{
    // A peer sends 40 different messages while the game sends 40 of its own: every one of
    // them arrives, because the receiving socket is never closed for a send.
    Peer a(PeerA, GamePortNumber);
    accepted->clear();
    for (int i = 0; i < 40; ++i) {
        a.send("XXburst" + QByteArray::number(i), Game, GamePortNumber);
        game.transport.send(QStringLiteral("RT"), PeerA, QStringLiteral("&&") + QString::number(i));
    }
    QVERIFY(QTest::qWaitFor([&] { return accepted->size() >= 40; }, 10000));
    QCOMPARE(accepted->size(), 40);
    QCOMPARE(a.receive(40).size(), 40);
}

void TestTransport::messengerText()
{
    // A messenger that answers with "AK" on the game port gets the text once.
    Peer messenger(PeerA, MessengerPortNumber);
    QVERIFY(messenger.bound());
    messenger.answer("ME", "AKMessenger", GamePortNumber);
    QVERIFY(QCoro::waitFor(SendMessengerText(game.transport, QStringLiteral("hello"), PeerA)));
    const QList<QNetworkDatagram> got = messenger.receive(1);
    QCOMPARE(got.value(0).senderPort(), int(MessengerPortNumber));   // from the messenger port
    QCOMPARE(messenger.texts(got),
             QList<QByteArray>{"MERobin&&\r\n$$UIN40001\r\n &&\r\n hello"});
    QVERIFY(messenger.drain().isEmpty());

    // Without an answer the text goes to the messenger port, then to port 80 as well.
    // Watching port 80 needs root; without it this part is skipped, not passed.
    Peer web(PeerB, 80);
    if (!web.bound())
        QSKIP("port 80 cannot be bound here");
    Peer silent(PeerB, MessengerPortNumber);
    QVERIFY(silent.bound());
    QVERIFY(!QCoro::waitFor(SendMessengerText(game.transport, QStringLiteral("again"), PeerB)));
    const QByteArray again = "MERobin&&\r\n$$UIN40001\r\n &&\r\n again";
    QCOMPARE(silent.texts(silent.receive(1)), QList<QByteArray>{again});
    QCOMPARE(web.texts(web.receive(1)), QList<QByteArray>{again});
    QVERIFY(web.drain().isEmpty());
}

void TestTransport::resolveAddress()
{
    QVERIFY(folder->writeFile(QStringLiteral("UINIP.lst"),
                              Records::UinAddressRecord{12345, QStringLiteral("10.0.0.9")}.encode()));
    QVERIFY(folder->writeMessengerFile(QStringLiteral("UINIP.lst"),
                                       Records::UinAddressRecord{12345, QStringLiteral("10.0.0.9")}.encode()));
    QCOMPARE(ResolvePlayerAddress(QStringLiteral("12345")), QStringLiteral("10.0.0.9"));
    QCOMPARE(ResolvePlayerAddress(QStringLiteral("54321")), QString());
    QCOMPARE(ResolvePlayerAddress(QStringLiteral("10.0.0.7")), QStringLiteral("10.0.0.7"));
    QCOMPARE(ResolvePlayerAddress(QStringLiteral("010.000.0.7")), QStringLiteral("10.0.0.7"));
    // Three dots do not make an address: each part is a number from 0 to 255.
    for (const char *bad : {"10.0.7", "12.34", "abc", "", "1.2.3.4.5", "300.1.1.1", "a.b.c.d", "1.2.3.",
                            "1..2.3", "1.2.3.2560", "+1.2.3.4", " 1.2.3.4", "1.2.3.0x4"})
        QCOMPARE(ResolvePlayerAddress(QString::fromLatin1(bad)), QString());
    // An address list that holds no address gives none.
    QVERIFY(folder->writeMessengerFile(QStringLiteral("UINIP.lst"),
                                       Records::UinAddressRecord{777, QStringLiteral("10.0.0.300")}.encode()));
    QVERIFY(folder->writeFile(QStringLiteral("UINIP.lst"),
                              Records::UinAddressRecord{777, QStringLiteral("10.0.0.300")}.encode()));
    QCOMPARE(ResolvePlayerAddress(QStringLiteral("777")), QString());
}

void TestTransport::sendsWithTheParametersHeld()
{
    // The messenger holds its parameter file and writes other ports into it: every send
    // goes on at once with the ports read before.
    Peer a(PeerA, GamePortNumber);
    QVERIFY(a.bound());
    HeldByAnother messenger(folder->messenger() + "HFparms.cfg");
    QVERIFY(messenger.holding);
    QVERIFY(folder->writeParameters(GamePortNumber + 100, MessengerPortNumber + 100));
    for (int i = 0; i < 3; ++i)
        game.transport.send(QStringLiteral("RT"), PeerA, QStringLiteral("&&held") + QString::number(i));
    QCOMPARE(a.texts(a.receive(3)), (QList<QByteArray>{"RTRobin&&held0", "RTRobin&&held1", "RTRobin&&held2"}));
    QCOMPARE(files->ports().messenger, MessengerPortNumber);
    // Once the messenger lets go, the changed file is read.
    messenger.release();
    QCOMPARE(files->ports().game, quint16(GamePortNumber + 100));
    QCOMPARE(files->ports().messenger, quint16(MessengerPortNumber + 100));
    QVERIFY(folder->writeParameters(GamePortNumber, MessengerPortNumber));
    QCOMPARE(files->ports().game, GamePortNumber);
}

void TestTransport::bindsOnceTheParametersAreRead()
{
    // A copy starting while the messenger holds its parameter file, never read yet, does
    // not bind to a port that may not be its own: it binds once the file is free, and the
    // windows go on meanwhile.
    delete accepted;
    delete form;
    delete files;
    files = new MessengerParameters;
    HeldByAnother messenger(folder->messenger() + "HFparms.cfg");
    QVERIFY(messenger.holding);
    form = new GameTransport(game.receiver(), *files);
    game.transport.use(form);
    form->StartListening();
    accepted = new QSignalSpy(form, &GameTransport::datagramAccepted);
    QVERIFY(!form->Listening());
    int turns = 0;
    QTimer ticker;
    ticker.callOnTimeout([&turns] { ++turns; });
    ticker.start(0);
    QTRY_VERIFY(turns >= 5);
    QVERIFY(!form->Listening());
    messenger.release();
    QTRY_VERIFY(form->Listening());
    Peer a(PeerA, 0);
    QCOMPARE(deliver(a, {"XXbound"}, 1).size(), 1);   // on the game port of the file
}

void TestTransport::portsDefaultWhenMissing()
{
    QCOMPARE(files->ports().game, GamePortNumber);
    QCOMPARE(files->ports().messenger, MessengerPortNumber);
    QVERIFY(folder->writeMessengerFile(QStringLiteral("HFparms.cfg"), QByteArray()));
    QCOMPARE(files->ports().game, quint16(4012));
    QCOMPARE(files->ports().messenger, quint16(4010));
}

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
