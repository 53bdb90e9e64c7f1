// The character window on a real X server (run under Xvfb): it is found by its identity,
// its shape follows the drawn figure, and a real click on the figure raises the click
// event while a click on a transparent corner goes past it. Without a compositor the
// window is shaped; with a compositing manager (xcompmgr) it is drawn with true alpha and
// a shadow over what lies below, and clicks are still shaped. The window drawn by the X
// server shows the same picture and shape as the toolkit's, also when the server refuses
// its pixmaps, and comes back when another program destroys it. A character file changed
// on disk while the server draws it gives blank frames or the pictures as loaded.
#include "Agent.h"
#include "CharacterWindow.h"
#include "Compositing.h"
#include "MoveEcho.h"
#include "SampleCharacter.h"
#include "ServerFrames.h"
#include "X11Display.h"
#include "X11Surface.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <xcb/shape.h>
#include <xcb/xcb.h>

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

xcb_window_t windowId(const QString &identity)
{
    return xcb_window_t(xdotool({"search", "--onlyvisible", "--name", "^" + identity + "$"}).toULong());
}

// Writes the 64 x 80 sample character, loads it under |identity| and shows it at |at|.
Character *showSample(AgentControl &control, const QTemporaryDir &dir, const QString &identity, QPoint at)
{
    const QString file = dir.filePath(identity + QStringLiteral(".acs"));
    if (!sample::writeSampleCharacter(file, QStringLiteral("Pip"), 64, 80).isEmpty())
        return nullptr;
    Character *character = control.load(identity, file);
    character->moveTo(at.x(), at.y(), 0);
    character->show(true);
    return character;
}

CharacterWindow *windowOf(const QString &identity)
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<CharacterWindow *>(widget); window && window->windowTitle() == identity)
            return window;
    return nullptr;
}

} // namespace

class TestAgentX11 : public QObject
{
    Q_OBJECT

private slots:
    // The windows the X server draws (the default here), except where a test asks for the
    // toolkit's.
    void initTestCase() { qunsetenv("HOLLYFROST_CHARACTER_WINDOWS"); }
    void shapedWindowTakesClicksOnItsFigure();
    void compositedWindowDrawsTrueAlpha();
    void movesItMadeAreNotAnsweredAgain();
    void serverDrawsWhatTheToolkitDraws_data();
    void serverDrawsWhatTheToolkitDraws();
    void windowDestroyedByAnotherProgramComesBack();
    void fileChangedOnDiskWhileShown();
    void serverFramesSharedAndBounded();
};

void TestAgentX11::shapedWindowTakesClicksOnItsFigure()
{
    QTemporaryDir dir;
    AgentControl control;
    Character *pip = showSample(control, dir, QStringLiteral("Player4"), QPoint(200, 300));
    QVERIFY(pip);
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

    // A drag from the figure is one click; the character stays where it is, and the
    // pointer is free again afterwards (the next click counts once).
    xdotool({"mousemove", QString::number(body.x()), QString::number(body.y()), "mousedown", "3"});
    xdotool({"mousemove", QString::number(body.x() + 40), QString::number(body.y() + 15)});
    xdotool({"mouseup", "3"});
    QTRY_COMPARE_WITH_TIMEOUT(clicks.count(), 2, 5000);
    QCOMPARE(clicks.last()[1].toInt(), int(Qt::RightButton));
    QTest::qWait(200);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(QPoint(pip->left(), pip->top()), QPoint(200, 300));
    xdotool({"mousemove", QString::number(body.x()), QString::number(body.y()), "click", "1"});
    QTRY_COMPARE_WITH_TIMEOUT(clicks.count(), 3, 5000);

    // A glide moves the real window.
    pip->moveTo(400, 300, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QCOMPARE(pip->left(), 400);
    QTest::qWait(100);
    const QString geometry = xdotool({"search", "--name", "^Player4$", "getwindowgeometry"});
    QVERIFY2(geometry.contains(QLatin1String("400,300")), qPrintable(geometry));
}

namespace {

// Starts a compositing manager (xcompmgr) and waits until it runs.
bool startCompositor(QProcess &compositor)
{
    compositor.start(QStringLiteral("xcompmgr"), QStringList());
    if (!compositor.waitForStarted(10000))
        return false;
    return QTest::qWaitFor([] { return CompositorRunning(); }, 10000);
}

// A white window over |area|, so that what lies below the characters is known.
bool showWhiteBackdrop(QWidget &backdrop, const QRect &area)
{
    backdrop.setWindowFlags(Qt::FramelessWindowHint);
    backdrop.setStyleSheet(QStringLiteral("background: white"));
    backdrop.setGeometry(area);
    backdrop.show();
    return QTest::qWaitForWindowExposed(&backdrop);
}

// The pixels of a part of the screen as the compositor shows it.
QImage screenshot(const QRect &area)
{
    QProcess import;
    import.start(QStringLiteral("/usr/bin/import"),
                 {"-window", "root", "-crop",
                  QStringLiteral("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y()),
                  "+repage", "png:-"});
    if (!import.waitForFinished(20000))
        return QImage();
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

// Pixels of the shadow's tone over white (a neutral grey, darker than the backdrop).
int shadowPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - c.green()) < 4 && qAbs(c.green() - c.blue()) < 4 && c.red() > 145 && c.red() < 185)
                ++count;
        }
    return count;
}

} // namespace

void TestAgentX11::compositedWindowDrawsTrueAlpha()
{
    QVERIFY(!CompositorRunning());
    QProcess compositor;
    QVERIFY(startCompositor(compositor));

    // A white backdrop, so that the shadow shows.
    QWidget backdrop;
    QVERIFY(showWhiteBackdrop(backdrop, QRect(100, 100, 500, 400)));

    QTemporaryDir dir;
    AgentControl control;
    Character *pip = showSample(control, dir, QStringLiteral("Player5"), QPoint(200, 200));
    QVERIFY(pip);
    QTRY_VERIFY_WITH_TIMEOUT(pip->visible() && pip->queueEmpty(), 5000);
    const QString id = xdotool({"search", "--name", "^Player5$"});
    QVERIFY(!id.isEmpty());
    QProcess info;
    info.start(QStringLiteral("xwininfo"), {"-id", id});
    QVERIFY(info.waitForFinished(10000));
    QVERIFY2(info.readAllStandardOutput().contains("Depth: 32"), "the character's window has no alpha channel");

    // Clicks: on the figure they count, on the transparent corner they go to the backdrop.
    QSignalSpy clicks(&control, &AgentControl::click);
    xdotool({"mousemove", QString::number(pip->left() + 32), QString::number(pip->top() + 50), "click", "1"});
    QTRY_COMPARE_WITH_TIMEOUT(clicks.count(), 1, 5000);
    xdotool({"mousemove", QString::number(pip->left() + 2), QString::number(pip->top() + 2), "click", "1"});
    QTest::qWait(300);
    QCOMPARE(clicks.count(), 1);

    // The shadow blends with the white below: the compositor shows grey where the shadow
    // reaches past the figure. The sample's body ends 3 pixels above the frame's bottom, so
    // the two bottom rows below its middle hold shadow only.
    const QRect belowBody(pip->left() + 24, pip->top() + 78, 17, 2);
    QTRY_VERIFY_WITH_TIMEOUT(shadowPixels(screenshot(belowBody)) >= 20, 10000);
    compositor.terminate();
    compositor.waitForFinished(5000);
}

// The server's echo of a window's own move is dropped; every other configure notice (a
// move by someone else, a resize, another window's) still reaches the toolkit.
void TestAgentX11::movesItMadeAreNotAnsweredAgain()
{
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    window.setGeometry(120, 140, 50, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    xcb_configure_notify_event_t notice {};
    notice.response_type = XCB_CONFIGURE_NOTIFY;
    notice.event = notice.window = xcb_window_t(window.winId());
    notice.x = 120;
    notice.y = 140;
    notice.width = 50;
    notice.height = 60;
    const QByteArray type("xcb_generic_event_t");
    QVERIFY(detail::IsMoveEcho(&window, type, &notice));
    notice.response_type |= 0x80;   // as a window manager sends it
    QVERIFY(detail::IsMoveEcho(&window, type, &notice));

    const auto differs = [&](auto change) {
        xcb_configure_notify_event_t other = notice;
        change(other);
        return !detail::IsMoveEcho(&window, type, &other);
    };
    QVERIFY(differs([](auto &n) { n.x = 121; }));
    QVERIFY(differs([](auto &n) { n.y = 0; }));
    QVERIFY(differs([](auto &n) { n.width = 51; }));
    QVERIFY(differs([](auto &n) { n.height = 59; }));
    QVERIFY(differs([](auto &n) { n.border_width = 1; }));
    QVERIFY(differs([](auto &n) { n.window = n.event = n.window + 1; }));
    QVERIFY(differs([](auto &n) { n.event = 1; }));   // told to the parent, not the window
    QVERIFY(differs([](auto &n) { n.response_type = XCB_EXPOSE; }));
    QVERIFY(!detail::IsMoveEcho(&window, QByteArray("windows_generic_MSG"), &notice));
    QVERIFY(!detail::IsMoveEcho(nullptr, type, &notice));

    // A character moved by another program follows; its own glide still lands.
    QTemporaryDir dir;
    AgentControl control;
    Character *pip = showSample(control, dir, QStringLiteral("Player5"), QPoint(200, 300));
    QVERIFY(pip);
    QTRY_VERIFY_WITH_TIMEOUT(pip->visible() && pip->queueEmpty(), 5000);
    QTest::qWait(300);
    xdotool({"search", "--name", "^Player5$", "windowmove", "500", "420"});
    QTRY_COMPARE_WITH_TIMEOUT(QPoint(pip->left(), pip->top()), QPoint(500, 420), 5000);
    // While it glides the window does not hear the echo of its moves; after, it does again.
    const xcb_window_t id = windowId(QStringLiteral("Player5"));
    QVERIFY(id);
    const auto hearsMoves = [id] {
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        xcb_get_window_attributes_reply_t *reply =
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, id), nullptr);
        const bool hears = reply && (reply->all_event_masks & XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        std::free(reply);
        xcb_disconnect(connection);
        return hears;
    };
    QVERIFY(hearsMoves());
    pip->moveTo(300, 250, 100000);   // 2 s at the tests' time scale
    QTRY_VERIFY_WITH_TIMEOUT(!hearsMoves(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(hearsMoves(), 5000);
    QCOMPARE(QPoint(pip->left(), pip->top()), QPoint(300, 250));
    const QString geometry = xdotool({"search", "--name", "^Player5$", "getwindowgeometry"});
    QVERIFY2(geometry.contains(QLatin1String("300,250")), qPrintable(geometry));
    xdotool({"search", "--name", "^Player5$", "windowmove", "420", "360"});
    QTRY_COMPARE_WITH_TIMEOUT(QPoint(pip->left(), pip->top()), QPoint(420, 360), 5000);
}

namespace {

// The window's shape of that kind as the server holds it, window coordinates.
QRegion shapeOf(xcb_window_t window, xcb_shape_sk_t kind)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    QRegion region;
    if (xcb_shape_get_rectangles_reply_t *reply =
            xcb_shape_get_rectangles_reply(connection, xcb_shape_get_rectangles(connection, window, kind), nullptr)) {
        const xcb_rectangle_t *r = xcb_shape_get_rectangles_rectangles(reply);
        for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(reply); ++i)
            region += QRect(r[i].x, r[i].y, r[i].width, r[i].height);
        std::free(reply);
    }
    xcb_disconnect(connection);
    return region;
}

// Empty when the two characters' windows show the same picture (every pixel of a screen
// shot of each window's area) and have the same shape; else what differs.
QString differences(Character *a, Character *b)
{
    const xcb_window_t idA = windowId(a->identity()), idB = windowId(b->identity());
    if (!idA || !idB)
        return QStringLiteral("a window is missing");
    const xcb_shape_sk_t kind = CompositorRunning() ? XCB_SHAPE_SK_INPUT : XCB_SHAPE_SK_BOUNDING;
    const QRegion shapeA = shapeOf(idA, kind), shapeB = shapeOf(idB, kind);
    if (shapeA != shapeB || shapeA.isEmpty())
        return QStringLiteral("shapes differ: %1 and %2 rectangles").arg(shapeA.rectCount()).arg(shapeB.rectCount());
    const QImage shotA = screenshot(QRect(a->left(), a->top(), a->width(), a->height()));
    const QImage shotB = screenshot(QRect(b->left(), b->top(), b->width(), b->height()));
    if (shotA.isNull() || shotA.size() != shotB.size())
        return QStringLiteral("no screen shot");
    int differing = 0;
    for (int y = 0; y < shotA.height(); ++y)
        for (int x = 0; x < shotA.width(); ++x)
            differing += shotA.pixel(x, y) != shotB.pixel(x, y);
    return differing ? QStringLiteral("%1 pixels differ").arg(differing) : QString();
}

} // namespace

// The same character drawn by the toolkit and by the server: the same picture and shape,
// at the natural size and scaled, after another window covered them, with and without a
// compositing manager, and when the server refuses every pixmap (the frames are then sent
// to the window each time, which paints what comes into view itself).
void TestAgentX11::serverDrawsWhatTheToolkitDraws_data()
{
    QTest::addColumn<bool>("composited");
    QTest::addColumn<bool>("refused");
    QTest::newRow("shaped") << false << false;
    QTest::newRow("shaped, pixmaps refused") << false << true;
    QTest::newRow("true alpha") << true << false;
}

void TestAgentX11::serverDrawsWhatTheToolkitDraws()
{
    QFETCH(bool, composited);
    QFETCH(bool, refused);
    QProcess compositor;
    if (composited)
        QVERIFY(startCompositor(compositor));
    // A white backdrop behind both, the same below each.
    QWidget backdrop;
    QVERIFY(showWhiteBackdrop(backdrop, QRect(0, 0, 700, 400)));

    QTemporaryDir dir;
    AgentControl control;
    qputenv("HOLLYFROST_CHARACTER_WINDOWS", "toolkit");
    Character *byToolkit = showSample(control, dir, QStringLiteral("Player1"), QPoint(96, 96));
    qunsetenv("HOLLYFROST_CHARACTER_WINDOWS");
    detail::X11Display::refuseNextPixmaps(refused ? 1000 : 0);
    Character *byServer = showSample(control, dir, QStringLiteral("Player2"), QPoint(352, 96));
    QVERIFY(byToolkit && byServer);
    QVERIFY(!windowOf(QStringLiteral("Player1"))->nativeSurface());
    QVERIFY(windowOf(QStringLiteral("Player2"))->nativeSurface());
    QTRY_VERIFY_WITH_TIMEOUT(byToolkit->visible() && byServer->visible() && byToolkit->queueEmpty()
                                 && byServer->queueEmpty(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(differences(byToolkit, byServer), QString(), 5000);

    // Covered by another window and uncovered again: both are painted again.
    QWidget cover;
    cover.setWindowFlags(Qt::FramelessWindowHint);
    cover.setStyleSheet(QStringLiteral("background: #2040c0"));
    cover.setGeometry(QRect(0, 0, 700, 400));
    cover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cover));
    QTest::qWait(200);
    cover.hide();
    QTRY_COMPARE_WITH_TIMEOUT(differences(byToolkit, byServer), QString(), 5000);

    for (Character *c : {byToolkit, byServer}) {
        c->setWidth(96);
        c->setHeight(120);
    }
    QTRY_COMPARE_WITH_TIMEOUT(differences(byToolkit, byServer), QString(), 5000);
    detail::X11Display::refuseNextPixmaps(0);
    if (composited) {
        compositor.terminate();
        compositor.waitForFinished(5000);
        QTRY_VERIFY_WITH_TIMEOUT(!CompositorRunning(), 10000);
    }
}

// Another program destroys the character's window: the character makes a new one, which
// is drawn, moves and takes clicks.
void TestAgentX11::windowDestroyedByAnotherProgramComesBack()
{
    QTemporaryDir dir;
    AgentControl control;
    Character *pip = showSample(control, dir, QStringLiteral("Player6"), QPoint(200, 300));
    QVERIFY(pip);
    QTRY_VERIFY_WITH_TIMEOUT(pip->visible() && pip->queueEmpty(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(windowId(QStringLiteral("Player6")) != 0, 5000);
    const xcb_window_t first = windowId(QStringLiteral("Player6"));

    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    xcb_destroy_window(other, first);
    std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));   // done
    xcb_disconnect(other);

    QTRY_VERIFY_WITH_TIMEOUT(windowId(QStringLiteral("Player6")) != 0
                                 && windowId(QStringLiteral("Player6")) != first, 5000);
    QVERIFY(pip->visible());
    QTRY_VERIFY_WITH_TIMEOUT(!shapeOf(windowId(QStringLiteral("Player6")), XCB_SHAPE_SK_BOUNDING).isEmpty(), 5000);
    pip->moveTo(260, 320, 0);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QTest::qWait(100);
    const QString geometry = xdotool({"search", "--name", "^Player6$", "getwindowgeometry"});
    QVERIFY2(geometry.contains(QLatin1String("260,320")), qPrintable(geometry));
    QSignalSpy clicks(&control, &AgentControl::click);
    xdotool({"mousemove", QString::number(pip->left() + 32), QString::number(pip->top() + 50), "click", "1"});
    QTRY_COMPARE_WITH_TIMEOUT(clicks.count(), 1, 5000);
}

namespace {

// Plays "wave" and waits until it is done. The character then holds the wave's last frame
// until it starts idling, which takes the event loop; the screen checks that follow do not
// run it. Plays again if the character idled before the wait saw the wave done.
bool holdsLastWaveFrame(Character *character, int lastPicture)
{
    const CharacterWindow *window = windowOf(character->identity());
    for (int attempt = 0; attempt < 3; ++attempt) {
        character->play(QStringLiteral("wave"));
        if (!QTest::qWaitFor([character] { return character->queueEmpty(); }, 5000))
            return false;
        if (window->shownPicture() == lastPicture)
            return true;
    }
    return false;
}

QRegion boundingShape(const Character *character)
{
    return shapeOf(windowId(character->identity()), XCB_SHAPE_SK_BOUNDING);
}

// What the character's window shows: the screen within |shape| (window coordinates), the
// rest black. Outside it the window below shows, and while the event loop does not run,
// the toolkit's backdrop keeps what the character's last frame left there.
QImage windowPixels(const Character *character, const QRegion &shape)
{
    const QImage shot = screenshot(QRect(character->left(), character->top(), character->width(),
                                         character->height())).convertToFormat(QImage::Format_RGB32);
    if (!QRect(QPoint(0, 0), shot.size()).contains(shape.boundingRect()))
        return QImage();
    QImage shown(shot.size(), QImage::Format_RGB32);
    shown.fill(Qt::black);
    for (const QRect &r : shape)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                shown.setPixel(x, y, shot.pixel(x, y));
    return shown;
}

} // namespace

// A character file changed on disk while the server draws its character: a picture shown
// before stays; a file rewritten in place gives blank frames (one pixel of the window's
// backdrop) for pictures not shown yet; a file replaced by another is still read as it
// was loaded. Each character has its own control, since characters of one control loaded
// from the same pictures share them and read them from the first one's file.
void TestAgentX11::fileChangedOnDiskWhileShown()
{
    QTRY_VERIFY_WITH_TIMEOUT(!CompositorRunning(), 10000);
    QWidget backdrop;
    QVERIFY(showWhiteBackdrop(backdrop, QRect(0, 0, 700, 400)));
    QTemporaryDir dir;
    AgentControl untouchedControl, rewrittenControl, replacedControl;
    Character *untouched = showSample(untouchedControl, dir, QStringLiteral("Player1"), QPoint(64, 96));
    Character *rewritten = showSample(rewrittenControl, dir, QStringLiteral("Player2"), QPoint(256, 96));
    Character *replaced = showSample(replacedControl, dir, QStringLiteral("Player3"), QPoint(448, 96));
    QVERIFY(untouched && rewritten && replaced);
    for (Character *c : {untouched, rewritten, replaced}) {
        QVERIFY(windowOf(c->identity())->nativeSurface());
        QTRY_VERIFY_WITH_TIMEOUT(c->visible() && c->queueEmpty(), 5000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!boundingShape(untouched).isEmpty(), 5000);
    const QRegion rest = boundingShape(untouched);
    QTRY_COMPARE_WITH_TIMEOUT(boundingShape(rewritten), rest, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(boundingShape(replaced), rest, 5000);

    const detail::CharacterData data = detail::loadCharacterFile(dir.filePath(QStringLiteral("Player1.acs")));
    const int waved = data.find(QStringLiteral("wave"))->frames.last().image;
    // Another character's file is copied over one file (in place, as cp does) and in
    // place of the other.
    const QString other = dir.filePath(QStringLiteral("Other.acs"));
    QCOMPARE(sample::writeSampleCharacter(other, QStringLiteral("Other"), 60, 80), QString());
    QFile source(other), file(dir.filePath(QStringLiteral("Player2.acs")));
    QVERIFY(source.open(QIODevice::ReadOnly) && file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(source.readAll()), source.size());
    file.close();
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("Player3.acs"))));
    QVERIFY(QFile::copy(other, dir.filePath(QStringLiteral("Player3.acs"))));

    QVERIFY(holdsLastWaveFrame(untouched, waved));
    const QRegion waveShape = boundingShape(untouched);
    const QImage wave = windowPixels(untouched, waveShape);
    QVERIFY(waveShape != rest && waveShape.rectCount() > 10);
    QVERIFY(!wave.isNull());

    // Replaced: the wave as the untouched file shows it, shape and pixels.
    QVERIFY(holdsLastWaveFrame(replaced, waved));
    QCOMPARE(boundingShape(replaced), waveShape);
    QCOMPARE(windowPixels(replaced, waveShape), wave);

    // Rewritten: a blank frame, one pixel of the window's backdrop colour.
    QVERIFY(holdsLastWaveFrame(rewritten, waved));
    QCOMPARE(boundingShape(rewritten), QRegion(0, 0, 1, 1));
    const QImage blank = windowPixels(rewritten, QRegion(0, 0, 1, 1));
    QVERIFY(!blank.isNull());
    QCOMPARE(QColor(blank.pixel(0, 0)), windowOf(rewritten->identity())->palette().window().color());

    // It plays everything, and its rest frame, read before the change, shows as before.
    for (const detail::Animation &animation : data.animations)
        rewritten->play(animation.name);
    QTRY_VERIFY_WITH_TIMEOUT(rewritten->queueEmpty(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(boundingShape(rewritten), rest, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(boundingShape(untouched), rest, 5000);
    QCOMPARE(windowPixels(rewritten, rest), windowPixels(untouched, rest));
}

// Characters of one file share its frames in the server; however many frames they show,
// the server holds at most the budget of them, and hidden characters hold none.
void TestAgentX11::serverFramesSharedAndBounded()
{
    QTemporaryDir dir;
    AgentControl control;
    Character *one = showSample(control, dir, QStringLiteral("Player1"), QPoint(100, 100));
    Character *two = showSample(control, dir, QStringLiteral("Player2"), QPoint(300, 100));
    QVERIFY(one && two);
    QTRY_VERIFY_WITH_TIMEOUT(one->visible() && two->visible() && one->queueEmpty() && two->queueEmpty(), 5000);
    const detail::X11Surface *surface = windowOf(QStringLiteral("Player1"))->nativeSurface();
    QVERIFY(surface && surface->serverFrames());
    QCOMPARE(surface->serverFrames(), windowOf(QStringLiteral("Player2"))->nativeSurface()->serverFrames());

    // At 640 x 800 a frame takes about two megabytes of the server's memory.
    one->setWidth(640);
    one->setHeight(800);
    for (const char *animation : {"greet", "wave", "pleased", "cheer", "alert", "surprised"}) {
        one->play(QLatin1String(animation));
        QTRY_VERIFY_WITH_TIMEOUT(one->queueEmpty(), 5000);
        const detail::ServerFrames *frames = surface->serverFrames();
        QVERIFY(frames);
        QVERIFY2(frames->heldBytes() <= detail::ServerFrames::kBudgetBytes || frames->heldCount() == 1,
                 qPrintable(QStringLiteral("%1 bytes in %2 frames").arg(frames->heldBytes()).arg(frames->heldCount())));
    }
    one->hide(true);
    two->hide(true);
    QTRY_VERIFY_WITH_TIMEOUT(!one->visible() && !two->visible(), 5000);
    QVERIFY(!surface->serverFrames());
}

QTEST_MAIN(TestAgentX11)
#include "tst_agent_x11.moc"
