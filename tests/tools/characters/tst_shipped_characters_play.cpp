// Every shipped character loads through the character platform and plays every
// animation the game asks for, then shows, moves and hides.
#include "Agent.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QStringList GameAnimations = {"greet", "wave", "pleased", "cheer", "congratulate", "gestureleft",
                                    "lookleft", "lookright", "lookup", "lookdown", "blink", "alert",
                                    "surprised", "idle_1", "moveup", "hide", "postcall", "startgate"};

} // namespace

class ShippedCharactersPlay : public QObject
{
    Q_OBJECT
private slots:
    void playsEverything_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("Announcer") << QDir(qEnvironmentVariable("HF_BIN_DIR")).filePath("Announcer.acs");
        const QDir lib(QDir(qEnvironmentVariable("HF_WINDOWS_DIR")).filePath("msagent/chars"));
        for (const QString &name : lib.entryList({"*.acs"}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << lib.filePath(name);
    }

    void playsEverything()
    {
        QFETCH(QString, file);
        agent::AgentControl control;
        QSignalSpy completed(&control, &agent::AgentControl::requestComplete);
        agent::Character *c = nullptr;
        try {
            c = control.load("Player1", file);
        } catch (const agent::AgentError &e) {
            QFAIL(e.what());
        }
        QVERIFY(c);
        QVERIFY(c->naturalWidth() > 0 && c->naturalHeight() > 0);
        QList<int> ids;
        ids << c->show(false);
        for (const QString &name : GameAnimations) {
            try {
                ids << c->play(name);
                // The platform matches names without regard to case, as the game may ask.
                ids << c->play(name.toUpper());
            } catch (const agent::AgentError &e) {
                QFAIL(qPrintable(name + ": " + e.what()));
            }
        }
        ids << c->moveTo(c->left() + 60, c->top(), 200);
        ids << c->moveTo(c->left(), c->top() + 40, 200);
        ids << c->hide(false);
        QTRY_VERIFY_WITH_TIMEOUT(c->queueEmpty(), 60000);
        // Every request finished normally (status 0), none stopped or failed.
        QCOMPARE(completed.size(), ids.size());
        for (const QList<QVariant> &args : completed)
            QVERIFY2(args.at(1).toInt() == 0, qPrintable(QString::number(args.at(0).toInt())));
        control.unload("Player1");
    }
};

QTEST_MAIN(ShippedCharactersPlay)
#include "tst_shipped_characters_play.moc"
