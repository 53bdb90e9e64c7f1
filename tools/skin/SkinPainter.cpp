#include "SkinPainter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

const QColor Peach(254, 185, 122);
const QColor Cream(255, 240, 218);
const QColor Rim(214, 128, 62);
const QColor DeepBrown(128, 58, 22);

QFont titleFont(int pixelSize)
{
    QFont font(QStringLiteral("Comic Neue"));
    font.setBold(true);
    font.setPixelSize(pixelSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// Outlined text: a soft shadow, a white rim and a warm fill.
void drawTitle(QPainter &p, const QRectF &box, const QString &text, int pixelSize, const QColor &fill)
{
    const QFont font = titleFont(pixelSize);
    QPainterPath path;
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(text);
    const QPointF origin(box.center().x() - width / 2, box.center().y() + (metrics.ascent() - metrics.descent()) / 2);
    path.addText(origin, font, text);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(1.5, 2);
    p.fillPath(path, QColor(90, 40, 10, 90));
    p.translate(-1.5, -2);
    p.strokePath(path, QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QLinearGradient gradient(box.topLeft(), box.bottomLeft());
    gradient.setColorAt(0, fill.lighter(125));
    gradient.setColorAt(1, fill.darker(115));
    p.fillPath(path, gradient);
    p.restore();
}

void drawCheckers(QPainter &p, const QRectF &area, qreal cell)
{
    p.save();
    p.setClipRect(area);
    p.fillRect(area, Qt::white);
    const int columns = int(std::ceil(area.width() / cell));
    const int rows = int(std::ceil(area.height() / cell));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            if ((r + c) % 2 == 0)
                p.fillRect(QRectF(area.left() + c * cell, area.top() + r * cell, cell, cell), QColor(30, 30, 30));
    p.restore();
}

// A finish flag waving on its pole; the flag's cloth is a strip of checkers bent by
// a gentle wave.
void drawFlag(QPainter &p, QPointF poleTop, qreal poleHeight, qreal clothWidth, qreal clothHeight)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(110, 80, 50), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(poleTop, poleTop + QPointF(0, poleHeight));
    p.setBrush(QColor(250, 210, 60));
    p.setPen(QPen(DeepBrown, 1));
    p.drawEllipse(poleTop, 4, 4);
    const int columns = 6, rows = 4;
    const qreal cw = clothWidth / columns, ch = clothHeight / rows;
    auto wave = [&](qreal x) { return 5 * std::sin(x / clothWidth * 2 * M_PI); };
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const qreal x0 = c * cw, x1 = (c + 1) * cw;
            const qreal y0 = poleTop.y() + 4 + r * ch, y1 = y0 + ch;
            QPolygonF cell;
            cell << QPointF(poleTop.x() + 2 + x0, y0 + wave(x0)) << QPointF(poleTop.x() + 2 + x1, y0 + wave(x1))
                 << QPointF(poleTop.x() + 2 + x1, y1 + wave(x1)) << QPointF(poleTop.x() + 2 + x0, y1 + wave(x0));
            p.setPen(Qt::NoPen);
            p.setBrush((r + c) % 2 == 0 ? QColor(35, 35, 35) : QColor(Qt::white));
            p.drawPolygon(cell);
        }
    p.restore();
}

// A little race car seen from the side, facing right.
void drawCar(QPainter &p, QPointF at, qreal length, const QColor &body)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(at);
    const qreal h = length * 0.32;
    QPainterPath shape;
    shape.moveTo(0, h * 0.75);
    shape.lineTo(0, h * 0.35);
    shape.quadTo(length * 0.25, h * 0.25, length * 0.35, 0);
    shape.lineTo(length * 0.6, 0);
    shape.quadTo(length * 0.72, h * 0.3, length, h * 0.45);
    shape.lineTo(length, h * 0.75);
    shape.closeSubpath();
    p.setPen(QPen(body.darker(160), 1));
    p.setBrush(body);
    p.drawPath(shape);
    p.setBrush(QColor(200, 235, 255));
    p.drawRoundedRect(QRectF(length * 0.4, h * 0.1, length * 0.17, h * 0.3), 2, 2);
    p.setBrush(QColor(40, 40, 40));
    p.setPen(Qt::NoPen);
    for (qreal x : {length * 0.2, length * 0.8}) {
        p.drawEllipse(QPointF(x, h * 0.78), h * 0.25, h * 0.25);
    }
    p.setBrush(QColor(190, 190, 190));
    for (qreal x : {length * 0.2, length * 0.8})
        p.drawEllipse(QPointF(x, h * 0.78), h * 0.1, h * 0.1);
    p.restore();
}

// A race track seen from the side: asphalt, kerbs, a dashed centre line, a finish
// line, and cars on their way.
void drawTrack(QPainter &p, const QRectF &road, qreal finishX, const QList<QPair<qreal, QColor>> &cars, qreal carLength)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(road, road.height() / 2.5, road.height() / 2.5);
    QLinearGradient asphalt(road.topLeft(), road.bottomLeft());
    asphalt.setColorAt(0, QColor(120, 112, 108));
    asphalt.setColorAt(1, QColor(84, 78, 76));
    p.fillPath(path, asphalt);
    p.setClipPath(path);
    for (qreal x = road.left(); x < road.right(); x += 16) {
        const bool red = int((x - road.left()) / 16) % 2 == 0;
        p.fillRect(QRectF(x, road.top(), 16, 3), red ? QColor(220, 50, 40) : QColor(Qt::white));
        p.fillRect(QRectF(x, road.bottom() - 3, 16, 3), red ? QColor(Qt::white) : QColor(220, 50, 40));
    }
    p.setPen(QPen(QColor(255, 240, 200), 1.5, Qt::CustomDashLine));
    QPen dash = p.pen();
    dash.setDashPattern({6, 5});
    p.setPen(dash);
    p.drawLine(QPointF(road.left(), road.center().y()), QPointF(road.right(), road.center().y()));
    drawCheckers(p, QRectF(finishX, road.top() + 3, 8, road.height() - 6), 4);
    p.setClipping(false);
    for (const auto &[x, colour] : cars)
        drawCar(p, QPointF(x, road.center().y() - carLength * 0.32 * 0.6), carLength, colour);
    p.restore();
}

// Calm, light panels for the controls to sit on, merged into one shape.
void drawPanels(QPainter &p, const QList<QRectF> &boxes)
{
    QPainterPath shape;
    for (const QRectF &box : boxes) {
        QPainterPath one;
        one.addRoundedRect(box, 10, 10);
        shape = shape.united(one);
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(shape.translated(2, 3), QColor(150, 70, 20, 45));
    const QRectF bound = shape.boundingRect();
    QLinearGradient gradient(bound.topLeft(), bound.bottomLeft());
    gradient.setColorAt(0, Cream.lighter(103));
    gradient.setColorAt(1, QColor(255, 230, 200));
    p.fillPath(shape, gradient);
    p.strokePath(shape, QPen(Rim, 1.5));
    p.restore();
}

void drawSnowflake(QPainter &p, QPointF centre, qreal radius, const QColor &colour)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.3, Qt::SolidLine, Qt::RoundCap));
    for (int arm = 0; arm < 6; ++arm) {
        const qreal a = arm * M_PI / 3;
        const QPointF tip = centre + QPointF(std::cos(a), std::sin(a)) * radius;
        p.drawLine(centre, tip);
        const QPointF mid = centre + QPointF(std::cos(a), std::sin(a)) * radius * 0.6;
        for (qreal side : {-0.6, 0.6})
            p.drawLine(mid, mid + QPointF(std::cos(a + side), std::sin(a + side)) * radius * 0.35);
    }
    p.restore();
}

} // namespace

QImage DrawSkin()
{
    QImage image(442, 373, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient background(0, 0, 0, 373);
    background.setColorAt(0, QColor(255, 198, 140));
    background.setColorAt(0.5, Peach);
    background.setColorAt(1, QColor(249, 172, 108));
    p.fillRect(image.rect(), background);
    QRadialGradient glow(QPointF(221, 180), 260);
    glow.setColorAt(0, QColor(255, 255, 255, 50));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(image.rect(), glow);

    // Frost flakes scattered in the margins, where no control sits.
    const QColor flake(255, 250, 240, 170);
    for (const QPointF at : {QPointF(20, 60), QPointF(24, 130), QPointF(18, 200), QPointF(22, 280),
                             QPointF(424, 225), QPointF(425, 300), QPointF(22, 330)})
        drawSnowflake(p, at, 6, flake);

    // Rounded frame: a dark outer line and a light inner one.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(DeepBrown, 3));
    p.drawRoundedRect(QRectF(3.5, 3.5, 435, 366), 18, 18);
    p.setPen(QPen(QColor(255, 235, 205), 2));
    p.drawRoundedRect(QRectF(7.5, 7.5, 427, 358), 15, 15);

    drawTitle(p, QRectF(0, 3, 442, 30), QStringLiteral("Hollyfrost Games"), 25, QColor(214, 70, 30));

    // Panels under the controls: the play-mode groups and the buttons below them,
    // the online list, the contestants list and the description memo.
    drawPanels(p, {QRectF(37, 30, 316, 180), QRectF(256, 113, 157, 100), QRectF(29, 206, 384, 138)});

    drawFlag(p, QPointF(370, 36), 74, 48, 30);
    drawTrack(p, QRectF(14, 348, 336, 20), 318,
              {{40, QColor(230, 60, 50)}, {120, QColor(50, 120, 220)}, {205, QColor(250, 190, 30)}, {272, QColor(60, 170, 90)}},
              28);
    return image;
}

QImage DrawBanner()
{
    QImage image(688, 74, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 74);
    sky.setColorAt(0, QColor(255, 214, 160));
    sky.setColorAt(1, Peach);
    p.fillRect(image.rect(), sky);
    p.fillRect(QRectF(0, 58, 688, 16), QColor(120, 190, 90));
    drawCheckers(p, QRectF(0, 0, 688, 6), 6);
    drawTitle(p, QRectF(10, 6, 300, 44), QStringLiteral("Hollyfrost Games"), 30, QColor(214, 70, 30));
    drawFlag(p, QPointF(318, 10), 44, 40, 26);
    drawTrack(p, QRectF(370, 30, 310, 26), 650,
              {{390, QColor(230, 60, 50)}, {460, QColor(50, 120, 220)}, {530, QColor(250, 190, 30)}, {600, QColor(60, 170, 90)}},
              36);
    for (const QPointF at : {QPointF(296, 18), QPointF(20, 64), QPointF(300, 64)})
        drawSnowflake(p, at, 5, QColor(255, 255, 255, 200));
    return image;
}
