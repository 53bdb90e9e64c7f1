// The limbs: tail, wings, ears, feet and arms.
#include "Painter.h"

#include <QPainterPath>
#include <QtMath>

namespace chars {

namespace {

QColor limbColour(const Traits &t)
{
    return t.limb.isValid() ? t.limb : t.main;
}

} // namespace

void fillOutlined(QPainter &p, const QPainterPath &path, const QColor &fill, double width)
{
    p.setPen(QPen(outlineOf(fill), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(path);
}

void strokeOutlined(QPainter &p, QPointF a, QPointF b, const QColor &c, double width)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outlineOf(c), width + 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(a, b);
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(a, b);
}

void drawTail(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose)
{
    if (t.tail == Tail::None)
        return;
    p.save();
    const QPointF base(g.faceX + g.w * 0.3, g.bottom - g.h * 0.18);
    p.translate(base);
    p.rotate(pose.sway * 14);
    QPainterPath path;
    switch (t.tail) {
    case Tail::Bushy: {
        path.moveTo(0, 4);
        path.cubicTo(22, 8, 34, -6, 30, -30);
        path.cubicTo(26, -44, 14, -40, 16, -30);
        path.cubicTo(18, -16, 10, -8, -2, -8);
        path.closeSubpath();
        fillOutlined(p, path, t.main);
        QPainterPath tip;
        tip.moveTo(30, -30);
        tip.cubicTo(26, -44, 14, -40, 16, -30);
        tip.cubicTo(20, -27, 26, -26, 30, -30);
        p.setPen(Qt::NoPen);
        p.setBrush(t.belly);
        p.drawPath(tip);
        break;
    }
    case Tail::Thin:
        path.moveTo(0, 0);
        path.cubicTo(20, 4, 24, -10, 20, -24);
        path.cubicTo(18, -32, 26, -36, 30, -30);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(outlineOf(t.main), 7, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(path);
        p.setPen(QPen(t.main, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(path);
        break;
    case Tail::Spiky: {
        path.moveTo(-2, -8);
        path.cubicTo(16, -6, 26, 2, 36, -6);
        path.lineTo(30, 4);
        path.cubicTo(22, 10, 8, 10, -2, 6);
        path.closeSubpath();
        for (int i = 0; i < 3; ++i) {
            QPainterPath spike;
            const double x = 8 + i * 9;
            spike.moveTo(x, -6 + i * 0.5);
            spike.lineTo(x + 4, -14 + i);
            spike.lineTo(x + 7, -4 + i * 0.2);
            fillOutlined(p, spike, t.accent, 1.2);
        }
        fillOutlined(p, path, t.main);
        break;
    }
    case Tail::Stub:
        path.addEllipse(QPointF(4, -2), 7, 7);
        fillOutlined(p, path, t.main);
        break;
    case Tail::None:
        break;
    }
    p.restore();
}

void drawWings(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose)
{
    if (!t.wings)
        return;
    for (int side = -1; side <= 1; side += 2) {
        p.save();
        p.translate(side * g.w * 0.3, g.cy - g.h * 0.12);
        p.scale(side, 1);
        p.rotate(-10 - 18 * std::sin(pose.step * 2 + pose.sway * 2));
        QPainterPath wing;
        wing.moveTo(0, 0);
        wing.lineTo(14, -22);
        wing.quadTo(24, -30, 30, -18);
        wing.quadTo(26, -12, 28, -6);
        wing.quadTo(20, -6, 20, 0);
        wing.quadTo(12, -4, 8, 4);
        wing.closeSubpath();
        fillOutlined(p, wing, t.accent);
        p.setPen(QPen(outlineOf(t.accent), 1.2));
        p.drawLine(QPointF(14, -22), QPointF(20, 0));
        p.restore();
    }
}

void drawEars(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose)
{
    const double tilt = pose.sway * 6;
    for (int side = -1; side <= 1; side += 2) {
        p.save();
        QPainterPath ear, inner;
        switch (t.ears) {
        case Ears::Pointy:
            p.translate(g.faceX + side * g.w * 0.25, g.top + 10);
            p.rotate(side * (16 + tilt));
            ear.moveTo(-10, 4);
            ear.lineTo(0, -22);
            ear.lineTo(10, 4);
            ear.closeSubpath();
            inner.moveTo(-5, 1);
            inner.lineTo(0, -14);
            inner.lineTo(5, 1);
            fillOutlined(p, ear, t.main);
            p.setPen(Qt::NoPen);
            p.setBrush(t.accent);
            p.drawPath(inner);
            break;
        case Ears::Round:
            p.translate(g.faceX + side * g.w * 0.33, g.top + 8);
            ear.addEllipse(QPointF(0, 0), 10, 10);
            fillOutlined(p, ear, t.main);
            p.setPen(Qt::NoPen);
            p.setBrush(t.accent);
            p.drawEllipse(QPointF(0, 0), 5.5, 5.5);
            break;
        case Ears::Tufts:
            p.translate(g.faceX + side * g.w * 0.3, g.top + 9);
            p.rotate(side * (28 + tilt));
            ear.moveTo(-7, 4);
            ear.quadTo(-2, -10, 2, -18);
            ear.quadTo(6, -6, 8, 4);
            ear.closeSubpath();
            fillOutlined(p, ear, t.main.darker(112));
            break;
        case Ears::Horns:
            p.translate(g.faceX + side * g.w * 0.2, g.top + 6);
            p.scale(side, 1);
            ear.moveTo(-4, 2);
            ear.quadTo(0, -12, 10, -16);
            ear.quadTo(4, -8, 5, 2);
            ear.closeSubpath();
            fillOutlined(p, ear, t.accent.lighter(140), 1.3);
            break;
        case Ears::Antenna:
            if (side > 0) {
                const QPointF tip(g.faceX + tilt * 0.8, g.top - 13);
                strokeOutlined(p, QPointF(g.faceX, g.top + 2), tip, QColor(170, 175, 185), 2);
                QRadialGradient glow(tip, 6);
                glow.setColorAt(0, t.accent.lighter(160));
                glow.setColorAt(1, t.accent);
                p.setPen(QPen(outlineOf(t.accent), 1.2));
                p.setBrush(glow);
                p.drawEllipse(tip, 4.5, 4.5);
            }
            break;
        case Ears::Stalks:
            // The eyes sit on top; the stalks join them to the head.
            strokeOutlined(p, QPointF(g.faceX + side * 6, g.top + 6),
                           QPointF(g.faceX + side * g.eyeGap + tilt, g.eyeY + 2), t.main, 3.5);
            break;
        case Ears::Bumps:
            ear.addEllipse(QPointF(g.faceX + side * g.eyeGap, g.eyeY), g.eyeR + 4, g.eyeR + 4);
            fillOutlined(p, ear, t.main);
            break;
        case Ears::None:
            break;
        }
        p.restore();
    }
}

void drawFeet(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose)
{
    if (t.feet == Feet::Float || t.feet == Feet::Slide)
        return;
    const QColor c = limbColour(t);
    for (int side = -1; side <= 1; side += 2) {
        const double phase = pose.step + (side > 0 ? M_PI : 0);
        const double swing = pose.walking ? std::sin(phase) * 5 : 0;
        const double lift = pose.walking ? std::max(0.0, std::cos(phase)) * 5 : 0;
        const double x = g.faceX + side * g.w * 0.2;
        QPainterPath foot;
        if (t.feet == Feet::Legs) {
            const double legW = t.arms == ArmStyle::Robot ? 4 : 7;
            strokeOutlined(p, QPointF(x, g.bottom - 4), QPointF(x + swing, -4 - lift),
                           t.arms == ArmStyle::Robot ? QColor(160, 165, 175) : c, legW);
            foot.addEllipse(QPointF(x + swing + side * 2, -3 - lift), 7, 3.8);
        } else {
            foot.addEllipse(QPointF(x + swing + side * 3, -3 - lift), 9, 4);
        }
        fillOutlined(p, foot, c, 1.4);
    }
}

QPointF handPosition(const Geometry &g, double angle, bool left)
{
    const double a = qDegreesToRadians(angle);
    const QPointF dir(left ? -std::sin(a) : std::sin(a), std::cos(a));
    return (left ? g.shoulderL : g.shoulderR) + dir * g.armLength;
}

void drawArm(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose, bool left)
{
    const QPointF shoulder = left ? g.shoulderL : g.shoulderR;
    const QPointF hand = handPosition(g, left ? pose.armL : pose.armR, left);
    const QColor c = limbColour(t);
    switch (t.arms) {
    case ArmStyle::Stubby:
    case ArmStyle::Sleeve:
        strokeOutlined(p, shoulder, hand, t.arms == ArmStyle::Sleeve ? t.main : c, t.arms == ArmStyle::Sleeve ? 8 : 6);
        p.setPen(QPen(outlineOf(c), 1.4));
        p.setBrush(t.arms == ArmStyle::Sleeve ? t.main : c);
        p.drawEllipse(hand, 4.6, 4.6);
        break;
    case ArmStyle::Flipper: {
        const QPointF d = hand - shoulder;
        const QPointF n(-d.y() / g.armLength * 5, d.x() / g.armLength * 5);
        QPainterPath flipper;
        flipper.moveTo(shoulder + n);
        flipper.quadTo(shoulder + d * 0.6 + n * 1.2, hand);
        flipper.quadTo(shoulder + d * 0.6 - n * 1.2, shoulder - n);
        flipper.closeSubpath();
        fillOutlined(p, flipper, t.main.darker(115));
        break;
    }
    case ArmStyle::Robot: {
        const QColor metal(160, 165, 175);
        strokeOutlined(p, shoulder, hand, metal, 4);
        p.setPen(QPen(outlineOf(metal), 1.2));
        p.setBrush(t.accent);
        p.drawEllipse(shoulder, 3.5, 3.5);
        p.setBrush(metal.lighter(115));
        p.drawEllipse(hand, 4.5, 4.5);
        break;
    }
    }
}

} // namespace chars
