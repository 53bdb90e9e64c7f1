// The skin control: picture loading by extension, the window's shape from stored region
// data, dragging, and the skin picture the build draws.
#include "JpegCodec.h"
#include "SkinFrame.h"

#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/resource.h>

namespace {

// A 1 x 1 GIF whose only pixel is pure red.
const QByteArray RedPixelGif = QByteArray::fromHex(
    "474946383961010001008000 00ff0000000000 2c00000000010001000002024401003b");

QByteArray int32Bytes(qint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    return QByteArray(bytes, 4);
}

// Region data in the stored layout; declaredCount may differ from rects on purpose.
QByteArray regionData(const QList<QRect> &rects, int declaredCount = -1, qint32 headerSize = 32, qint32 type = 1)
{
    QByteArray body = int32Bytes(headerSize) + int32Bytes(type)
        + int32Bytes(declaredCount < 0 ? int(rects.size()) : declaredCount) + int32Bytes(int(rects.size()) * 16);
    body += QByteArray(16, '\0');   // bounds: not needed to read the rectangles
    for (const QRect &r : rects)
        body += int32Bytes(r.left()) + int32Bytes(r.top()) + int32Bytes(r.right() + 1) + int32Bytes(r.bottom() + 1);
    return int32Bytes(int(body.size())) + body;
}

void sendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint local)
{
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class SkinTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder.filePath(name);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
            return QString();
        return path;
    }

    QString jpegFile(const QString &name, QColor colour, QSize size = QSize(40, 30))
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = m_folder.filePath(name);
        return WriteJpegFile(image, path, 95) ? path : QString();
    }

    static bool near(QColor a, QColor b, int tolerance)
    {
        return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
            && qAbs(a.blue() - b.blue()) <= tolerance;
    }

private slots:
    void initTestCase() { QVERIFY(m_folder.isValid()); }

    void placedOnWindowTakesItsFace()
    {
        QWidget form, other;
        form.resize(442, 373);
        auto *skin = new SkinFrame(&form);
        QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(skin->geometry(), QRect(0, 0, 442, 373));
        QVERIFY(skin->testAttribute(Qt::WA_OpaquePaintEvent));
        QVERIFY(skin->Draggable());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.resize(300, 200);
        QCOMPARE(skin->size(), QSize(300, 200));

        // Moved onto another window, it takes that one's face instead.
        other.resize(150, 100);
        skin->setParent(&other);
        QVERIFY(other.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(skin->geometry(), QRect(0, 0, 150, 100));
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.resize(160, 110);
        QCOMPARE(skin->size(), QSize(160, 110));
        form.resize(400, 300);
        QCOMPARE(skin->size(), QSize(160, 110));
    }

    void picturesLoadByExtension()
    {
        SkinFrame skin;
        const QString blue = jpegFile(QStringLiteral("blue.jpg"), QColor(20, 40, 230));
        const QString red = jpegFile(QStringLiteral("red.JPG"), QColor(230, 30, 20));
        QVERIFY(skin.LoadSkin(blue));
        QVERIFY(near(skin.Picture().pixelColor(5, 5), QColor(20, 40, 230), 12));
        QCOMPARE(skin.Picture().size(), QSize(40, 30));
        QVERIFY(skin.LoadSkin(red));
        QVERIFY(near(skin.Picture().pixelColor(5, 5), QColor(230, 30, 20), 12));

        QVERIFY(skin.LoadSkin(file(QStringLiteral("pixel.Gif"), RedPixelGif)));
        QCOMPARE(skin.Picture().size(), QSize(1, 1));
        QCOMPARE(QColor(skin.Picture().pixel(0, 0)), QColor(255, 0, 0));

        QImage green(8, 6, QImage::Format_RGB32);
        green.fill(QColor(0, 200, 0));
        const QString bmp = m_folder.filePath(QStringLiteral("green.bmp"));
        QVERIFY(green.save(bmp, "BMP"));
        QVERIFY(skin.LoadSkin(bmp));
        QCOMPARE(QColor(skin.Picture().pixel(3, 3)), QColor(0, 200, 0));
    }

    // Only the three known extensions load; the content does not matter.
    void otherExtensionsLoadNothing()
    {
        SkinFrame skin;
        QVERIFY(skin.LoadSkin(jpegFile(QStringLiteral("first.jpg"), Qt::white)));
        const QImage before = skin.Picture();
        QVERIFY(!skin.LoadSkin(jpegFile(QStringLiteral("same.jpeg"), Qt::black)));
        QVERIFY(!skin.LoadSkin(jpegFile(QStringLiteral("same.png"), Qt::black)));
        QVERIFY(!skin.LoadSkin(jpegFile(QStringLiteral("noextension"), Qt::black)));
        QCOMPARE(skin.Picture(), before);
    }

    void brokenPicturesKeepThePreviousOne()
    {
        SkinFrame skin;
        QVERIFY(skin.LoadSkin(jpegFile(QStringLiteral("good.jpg"), QColor(250, 180, 120))));
        const QImage before = skin.Picture();

        QVERIFY(!skin.LoadSkin(file(QStringLiteral("garbage.jpg"), QByteArray(300, 'x'))));
        // A JPEG start marker followed by nonsense makes the decoder give up mid-way.
        QVERIFY(!skin.LoadSkin(file(QStringLiteral("garbled.jpg"), QByteArray::fromHex("ffd8ffdb") + QByteArray(50, '\x01'))));
        QVERIFY(!skin.LoadSkin(file(QStringLiteral("empty.jpg"), QByteArray())));
        // A picture cut off half-way would show grey where its data is missing.
        QImage busy(200, 160, QImage::Format_RGB32);
        for (int y = 0; y < busy.height(); ++y)
            for (int x = 0; x < busy.width(); ++x)
                busy.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x ^ y) % 256));
        const QString wholePath = m_folder.filePath(QStringLiteral("whole.jpg"));
        QVERIFY(WriteJpegFile(busy, wholePath, 90));
        QFile whole(wholePath);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        QVERIFY(skin.LoadSkin(wholePath));
        QVERIFY(skin.LoadSkin(jpegFile(QStringLiteral("good.jpg"), QColor(250, 180, 120))));
        QVERIFY(!skin.LoadSkin(file(QStringLiteral("half.jpg"), bytes.left(bytes.size() / 2))));
        // A few kilobytes that claim 20000 x 20000 pixels: refused before the decoder takes
        // the gigabyte they claim.
        QByteArray huge = bytes;
        const qsizetype frameHeader = huge.indexOf("\xff\xc0") + 5;   // its height, then its width
        qToBigEndian(quint16(20000), huge.data() + frameHeader);
        qToBigEndian(quint16(20000), huge.data() + frameHeader + 2);
        rusage start{}, end{};
        getrusage(RUSAGE_SELF, &start);
        const bool hugeLoaded = skin.LoadSkin(file(QStringLiteral("huge.jpg"), huge));
        getrusage(RUSAGE_SELF, &end);
        QVERIFY2(end.ru_maxrss - start.ru_maxrss < 100 * 1024, qPrintable(QString::number(end.ru_maxrss - start.ru_maxrss)));
        QVERIFY(!hugeLoaded);
        QVERIFY(!skin.LoadSkin(m_folder.filePath(QStringLiteral("missing.jpg"))));
        QVERIFY(!skin.LoadSkin(file(QStringLiteral("garbage.gif"), QByteArray("GIF89a") + QByteArray(20, '\xff'))));
        QVERIFY(!skin.LoadSkin(file(QStringLiteral("garbage.bmp"), QByteArray("BM") + QByteArray(20, '\0'))));
        QCOMPARE(skin.Picture(), before);
    }

    void regionDataIsRead()
    {
        bool ok = false;
        const QRegion region = RegionFromMask2(regionData({QRect(0, 0, 100, 50), QRect(10, 50, 80, 30)}), &ok);
        QVERIFY(ok);
        QVERIFY(region.contains(QPoint(99, 49)));
        QVERIFY(region.contains(QPoint(89, 79)));
        QVERIFY(!region.contains(QPoint(95, 60)));
        QVERIFY(!region.contains(QPoint(100, 10)));

        QVERIFY(RegionFromMask2(int32Bytes(0), &ok).isEmpty());
        QVERIFY(ok);
        QCOMPARE(RegionFromMask2(Mask2FromRegion(region), &ok), region);
        QVERIFY(ok);
    }

    void badRegionDataIsRejected_data()
    {
        QTest::addColumn<QByteArray>("data");
        const QByteArray good = regionData({QRect(0, 0, 10, 10)});
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("length only partly there") << QByteArray("\x05\x00", 2);
        QTest::newRow("length beyond the data") << good.left(good.size() - 4);
        QTest::newRow("shorter than a header") << int32Bytes(8) + QByteArray(8, '\0');
        QTest::newRow("wrong header size") << regionData({QRect(0, 0, 10, 10)}, -1, 40);
        QTest::newRow("wrong type") << regionData({QRect(0, 0, 10, 10)}, -1, 32, 2);
        QTest::newRow("more rectangles than data") << regionData({QRect(0, 0, 10, 10)}, 3);
        QTest::newRow("huge count") << regionData({QRect(0, 0, 10, 10)}, 0x7FFFFFFF);
        QTest::newRow("negative length") << int32Bytes(-1) + good.mid(4);
    }

    void badRegionDataIsRejected()
    {
        QFETCH(QByteArray, data);
        bool ok = true;
        QVERIFY(RegionFromMask2(data, &ok).isEmpty());
        QVERIFY(!ok);

        QWidget form;
        form.resize(200, 200);
        SkinFrame skin(&form);
        const QRegion shape(QRect(0, 0, 50, 50));
        skin.SetMask2(Mask2FromRegion(shape));
        skin.SetMask2(data);
        QCOMPARE(skin.Mask(), shape);
        QCOMPARE(form.mask(), shape);
    }

    void storedRegionShapesTheWindow()
    {
        QWidget form;
        form.resize(200, 150);
        SkinFrame skin(&form);
        QVERIFY(form.mask().isEmpty());
        skin.SetMask2(regionData({QRect(10, 10, 100, 100)}));
        QCOMPARE(form.mask(), QRegion(QRect(10, 10, 100, 100)));
        QCOMPARE(skin.Mask(), QRegion(QRect(10, 10, 100, 100)));

        // Loading a picture drops the region object, but the window keeps its shape.
        QVERIFY(skin.LoadSkin(jpegFile(QStringLiteral("any.jpg"), Qt::gray)));
        QVERIFY(skin.Mask().isEmpty());
        QCOMPARE(form.mask(), QRegion(QRect(10, 10, 100, 100)));

        // An empty region makes the window rectangular again.
        skin.SetMask2(int32Bytes(0));
        QVERIFY(form.mask().isEmpty());
    }

    void leftPressDragsRightPressDoesNot()
    {
        QWidget form;
        form.setGeometry(100, 100, 200, 150);
        SkinFrame skin(&form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QPoint start = form.pos();

        sendMouse(&skin, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, QPoint(20, 20));
        sendMouse(&skin, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, QPoint(60, 50));
        sendMouse(&skin, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, QPoint(60, 50));
        QCOMPARE(form.pos(), start);
        QVERIFY(!skin.ManualDragActive());

        // The offscreen window system cannot move windows itself, so the control moves
        // the window along with the mouse.
        sendMouse(&skin, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(20, 20));
        QVERIFY(skin.ManualDragActive());
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 20), QPointF(start + QPoint(20 + 35, 20 + 25)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&skin, &move);
        QCOMPARE(form.pos(), start + QPoint(35, 25));
        sendMouse(&skin, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, QPoint(20, 20));
        QVERIFY(!skin.ManualDragActive());

        skin.SetDraggable(false);
        sendMouse(&skin, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(20, 20));
        QVERIFY(!skin.ManualDragActive());
    }

    void paintsStretchedPictureOrBackground()
    {
        QWidget form;
        form.resize(120, 80);
        QPalette palette = form.palette();
        palette.setColor(QPalette::Window, QColor(254, 185, 122));
        form.setPalette(palette);
        SkinFrame skin(&form);
        QCOMPARE(skin.grab().toImage().pixelColor(60, 40), QColor(254, 185, 122));

        QImage picture(2, 2, QImage::Format_RGB32);
        picture.fill(QColor(10, 20, 200));
        skin.SetPicture(picture);
        const QImage shown = skin.grab().toImage();
        QCOMPARE(shown.pixelColor(1, 1), QColor(10, 20, 200));
        QCOMPARE(shown.pixelColor(118, 78), QColor(10, 20, 200));
    }

    // The picture the build draws: the main window's size, the warm background at the
    // margins and light, calm areas under the lists and the memo.
    void gameSkinPictureFitsTheWindow()
    {
        const QString path = qEnvironmentVariable("HF_BIN_DIR") + QStringLiteral("/GameSkin1.jpg");
        SkinFrame skin;
        QVERIFY2(skin.LoadSkin(path), qPrintable(path));
        const QImage picture = skin.Picture();
        QCOMPARE(picture.size(), QSize(442, 373));
        QVERIFY(near(picture.pixelColor(24, 170), QColor(254, 185, 122), 30));
        for (const QPoint centre : {QPoint(37 + 104, 231 + 42), QPoint(263 + 71, 135 + 50), QPoint(251 + 78, 260 + 28),
                                    QPoint(45 + 49, 35 + 62)}) {
            const QColor c = picture.pixelColor(centre);
            QVERIFY2(c.lightness() > 200, qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
        }
        const QImage banner = DecodeJpegFile(qEnvironmentVariable("HF_BIN_DIR") + QStringLiteral("/RaceBanner.jpg"));
        QCOMPARE(banner.size(), QSize(688, 74));
    }
};

QTEST_MAIN(SkinTest)
#include "tst_skin.moc"
