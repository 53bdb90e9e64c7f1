// What a character wears or holds: the top hat, the bow tie, the trumpet and the flag.
#include "Painter.h"

#include <QPainterPath>
#include <QtMath>

namespace chars {

void drawHat(QPainter &p, const Geometry &g)
{
    const QColor black(40, 38, 48);
    p.save();
    p.translate(g.faceX + 3, g.top + 4);
    p.rotate(8);
    p.setPen(QPen(black.lighter(180), 1.2));
    p.setBrush(black);
    p.drawRoundedRect(QRectF(-11, -22, 22, 21), 2, 2);
    p.setBrush(QColor(200, 40, 60));
    p.drawRect(QRectF(-11, -7, 22, 4.5));
    p.setBrush(black);
    p.drawEllipse(QPointF(0, -1), 18, 3.5);
    p.restore();
}

void drawBowTie(QPainter &p, const Geometry &g)
{
    const QColor red(210, 40, 60);
    const QPointF c(g.faceX, g.mouthY + g.h * 0.2);
    QPainterPath bow;
    bow.moveTo(c);
    bow.lineTo(c + QPointF(-10, -6));
    bow.lineTo(c + QPointF(-10, 6));
    bow.closeSubpath();
    bow.moveTo(c);
    bow.lineTo(c + QPointF(10, -6));
    bow.lineTo(c + QPointF(10, 6));
    bow.closeSubpath();
    fillOutlined(p, bow, red, 1.2);
    p.drawEllipse(c, 3, 3);
}

void drawProp(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose)
{
    Q_UNUSED(t);
    if (pose.prop == Prop::Trumpet) {
        const QColor brass(240, 190, 50);
        p.save();
        p.translate(g.faceX + 3, g.mouthY);
        p.rotate(-18 - pose.propAngle);
        QPainterPath horn;
        horn.moveTo(0, -1.6);
        horn.lineTo(26, -2.2);
        horn.quadTo(32, -3, 36, -9);
        horn.lineTo(36, 9);
        horn.quadTo(32, 3, 26, 2.2);
        horn.lineTo(0, 1.6);
        horn.closeSubpath();
        fillOutlined(p, horn, brass, 1.3);
        p.setBrush(brass.darker(115));
        p.drawEllipse(QPointF(36, 0), 2.5, 9);
        p.setBrush(brass);
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(11 + i * 4, -5.5, 2.2, 4));
        p.restore();
    } else if (pose.prop == Prop::Flag) {
        const QPointF hand = handPosition(g, pose.armR, false);
        p.save();
        p.translate(hand);
        p.rotate(pose.propAngle);
        const QColor wood(150, 100, 60);
        strokeOutlined(p, QPointF(0, 8), QPointF(0, -38), wood, 2.2);
        // The cloth ripples along its length; a clip lays the checks on the wave.
        QPainterPath cloth;
        const double w = 24, h = 16;
        cloth.moveTo(0, -37);
        for (int i = 1; i <= 6; ++i) {
            const double x = w * i / 6;
            cloth.lineTo(x, -37 + 3 * std::sin(pose.flagWave + x * 0.25) * (x / w));
        }
        for (int i = 6; i >= 0; --i) {
            const double x = w * i / 6;
            cloth.lineTo(x, -37 + h + 3 * std::sin(pose.flagWave + x * 0.25) * (x / w));
        }
        cloth.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPath(cloth);
        p.save();
        p.setClipPath(cloth);
        p.setBrush(QColor(30, 30, 30));
        for (int cx = 0; cx < 6; ++cx)
            for (int cy = 0; cy < 5; ++cy)
                if ((cx + cy) % 2 == 0) {
                    const double x = cx * w / 6;
                    const double y = -40 + cy * 5 + 3 * std::sin(pose.flagWave + x * 0.25) * (x / w);
                    p.drawRect(QRectF(x, y, w / 6, 5));
                }
        p.restore();
        p.setPen(QPen(QColor(30, 30, 30), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(cloth);
        p.setPen(QPen(outlineOf(wood), 1));
        p.setBrush(QColor(240, 200, 60));
        p.drawEllipse(QPointF(0, -39), 2.6, 2.6);
        p.restore();
    }
}

} // namespace chars
