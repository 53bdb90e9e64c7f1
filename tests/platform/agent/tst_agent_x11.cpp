// The character window on a real X server (run under Xvfb, no compositor): it is found
// by its identity, its shape follows the drawn figure, and a real click on the figure
// raises the click event while a click on a transparent corner goes past it.
#include "Agent.h"
#include "SampleCharacter.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace agent;

namespace {

QString xdotool(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), args);
    if (!process.waitForFinished(10000))
        return QStringLiteral("(xdotool did not finish)");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

class TestAgentX11 : public QObject
{
    Q_OBJECT

private slots:
    void shapedWindowTakesClicksOnItsFigure();
};

void TestAgentX11::shapedWindowTakesClicksOnItsFigure()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Pip.acs"));
    QCOMPARE(sample::writeSampleCharacter(file, QStringLiteral("Pip"), 64, 80), QString());
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player4"), file);
    pip->moveTo(200, 300, 0);
    pip->show(true);
    QTRY_VERIFY_WITH_TIMEOUT(pip->visible() && pip->queueEmpty(), 5000);
    QTest::qWait(300);   // let the server map and shape the window

    // The window manager, tests and tools find the character by its identity.
    QVERIFY(!xdotool({"search", "--name", "^Player4$"}).isEmpty());

    QSignalSpy clicks(&control, &AgentControl::click);
    // The figure's body is an ellipse around the middle of the lower part of the frame.
    const QPoint body(pip->left() + 32, pip->top() + 50);
    xdotool({"mousemove", QString::number(body.x()), QString::number(body.y()), "click", "1"});
    QTRY_COMPARE_WITH_TIMEOUT(clicks.count(), 1, 5000);
    QCOMPARE(clicks.first()[0].toString(), QStringLiteral("Player4"));
    QCOMPARE(clicks.first()[1].toInt(), int(Qt::LeftButton));
    QCOMPARE(clicks.first()[3].toInt(), body.x());
    QCOMPARE(clicks.first()[4].toInt(), body.y());

    // The top-left corner of the frame is transparent: outside the window's shape.
    xdotool({"mousemove", QString::number(pip->left() + 2), QString::number(pip->top() + 2), "click", "1"});
    QTest::qWait(300);
    QCOMPARE(clicks.count(), 1);

    // A glide moves the real window.
    pip->moveTo(400, 300, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QCOMPARE(pip->left(), 400);
    QTest::qWait(100);
    const QString geometry = xdotool({"search", "--name", "^Player4$", "getwindowgeometry"});
    QVERIFY2(geometry.contains(QLatin1String("400,300")), qPrintable(geometry));
}

QTEST_MAIN(TestAgentX11)
#include "tst_agent_x11.moc"
