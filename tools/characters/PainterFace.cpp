// Eyes, mouth, snout, brows, cheeks and whiskers.
#include "Painter.h"

#include <QPainterPath>
#include <QtMath>

#include <algorithm>

namespace chars {

namespace {

const QColor Ink(40, 30, 36);

void drawClosedEye(QPainter &p, QPointF c, double r, bool happy, const QColor &ink)
{
    QPainterPath arc;
    if (happy) {
        arc.moveTo(c + QPointF(-r * 0.8, r * 0.25));
        arc.quadTo(c + QPointF(0, -r * 0.9), c + QPointF(r * 0.8, r * 0.25));
    } else {
        arc.moveTo(c + QPointF(-r * 0.8, 0));
        arc.quadTo(c + QPointF(0, r * 0.6), c + QPointF(r * 0.8, 0));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc);
}

void drawEye(QPainter &p, const Traits &t, const Pose &pose, QPointF c, double r)
{
    if (pose.happyEyes || pose.eyeOpen < 0.15) {
        // Dark fur needs a light line to show shut eyes at all.
        drawClosedEye(p, c, r, pose.happyEyes, t.main.lightness() < 90 ? QColor(250, 250, 250) : Ink);
        return;
    }
    const double rr = pose.wideEyes ? r * 1.22 : r;
    const QPointF look(pose.lookX * rr * 0.38, pose.lookY * rr * 0.34);
    const double ry = rr * 1.12 * pose.eyeOpen;
    if (t.eyes == EyeStyle::Dot) {
        p.setPen(Qt::NoPen);
        p.setBrush(Ink);
        p.drawEllipse(c + look * 0.6, rr * 0.55, ry * 0.7);
        p.setBrush(Qt::white);
        p.drawEllipse(c + look * 0.6 + QPointF(-rr * 0.18, -ry * 0.28), rr * 0.18, rr * 0.18);
        return;
    }
    QPainterPath white;
    white.addEllipse(c, rr, ry);
    p.setPen(QPen(Ink, 1.4));
    p.setBrush(Qt::white);
    p.drawPath(white);
    p.save();
    p.setClipPath(white);
    p.setPen(Qt::NoPen);
    const double ir = pose.wideEyes ? rr * 0.45 : rr * 0.62;
    p.setBrush(t.iris);
    p.drawEllipse(c + look, ir, ir);
    p.setBrush(Ink);
    p.drawEllipse(c + look, ir * 0.58, ir * 0.58);
    p.setBrush(Qt::white);
    p.drawEllipse(c + look + QPointF(-ir * 0.35, -ir * 0.4), ir * 0.28, ir * 0.28);
    p.restore();
    if (pose.eyeOpen < 0.99) {
        // A lid line shows the eye is half shut rather than just a flat oval.
        p.setPen(QPen(outlineOf(t.main), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(-rr, -ry * 0.2), c + QPointF(rr, -ry * 0.2 - 0.001));
    }
}

void drawVisor(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose)
{
    const QRectF screen(g.faceX - g.w * 0.34, g.eyeY - g.eyeR * 1.3, g.w * 0.68, g.eyeR * 2.6);
    p.setPen(QPen(QColor(90, 95, 110), 1.6));
    p.setBrush(QColor(30, 40, 56));
    p.drawRoundedRect(screen, 6, 6);
    const QColor glow = t.iris;
    for (int side = -1; side <= 1; side += 2) {
        const QPointF c(g.faceX + side * g.eyeGap + pose.lookX * 3, g.eyeY + pose.lookY * 2.5);
        if (pose.happyEyes || pose.eyeOpen < 0.15) {
            drawClosedEye(p, c, g.eyeR * 0.8, pose.happyEyes, glow);
            continue;
        }
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        const double ew = pose.wideEyes ? g.eyeR * 0.75 : g.eyeR * 0.5;
        const double eh = (pose.wideEyes ? g.eyeR * 0.75 : g.eyeR * 0.85) * pose.eyeOpen;
        p.drawRoundedRect(QRectF(c.x() - ew, c.y() - eh, 2 * ew, 2 * eh), ew * 0.7, ew * 0.7);
    }
}

void drawMouth(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose)
{
    const QPointF m(g.faceX, g.mouthY);
    const double open = pose.mouth == Mouth::Oh ? std::max(0.3, pose.mouthOpen)
                      : pose.mouth == Mouth::Open ? pose.mouthOpen : 0;
    if (t.snout == Snout::Beak) {
        const QColor beak = t.accent;
        QPainterPath upper, lower;
        upper.moveTo(m + QPointF(-6, -3));
        upper.lineTo(m + QPointF(6, -3));
        upper.lineTo(m + QPointF(0, 4));
        upper.closeSubpath();
        const double drop = open * 6 + (pose.mouth == Mouth::Grin ? 2 : 0);
        lower.moveTo(m + QPointF(-4.5, 1 + drop * 0.4));
        lower.lineTo(m + QPointF(4.5, 1 + drop * 0.4));
        lower.lineTo(m + QPointF(0, 5 + drop));
        lower.closeSubpath();
        if (drop > 0.5) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(120, 30, 40));
            p.drawEllipse(m + QPointF(0, 2 + drop * 0.5), 4, 1 + drop * 0.5);
        }
        p.setPen(QPen(outlineOf(beak), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(beak.darker(112));
        p.drawPath(lower);
        p.setBrush(beak);
        p.drawPath(upper);
        return;
    }
    if (t.snout == Snout::Grille) {
        const double h = 4 + open * 7 + (pose.mouth == Mouth::Grin ? 2 : 0);
        const QRectF r(m.x() - 9, m.y() - 1, 18, h);
        p.setPen(QPen(QColor(90, 95, 110), 1.4));
        p.setBrush(open > 0.1 || pose.mouth == Mouth::Grin ? t.iris.darker(140) : QColor(40, 48, 60));
        p.drawRoundedRect(r, 2, 2);
        p.setPen(QPen(QColor(90, 95, 110), 1));
        for (int i = 1; i < 4; ++i)
            p.drawLine(QPointF(r.left() + i * 4.5, r.top()), QPointF(r.left() + i * 4.5, r.bottom()));
        return;
    }
    if (t.snout == Snout::Muzzle) {
        p.setPen(Qt::NoPen);
        p.setBrush(t.belly.isValid() ? t.belly : t.main.lighter(130));
        p.drawEllipse(m + QPointF(0, 1), g.w * 0.16, g.h * 0.09 + open * 2);
    }
    const double wide = t.body == BodyShape::Wide ? 1.6 : 1.0;
    p.setPen(QPen(Ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (open > 0.05 || pose.mouth == Mouth::Grin) {
        QPainterPath mouth;
        const double w = (pose.mouth == Mouth::Oh ? 3.5 + open * 2 : (5 + open * 2.5) * wide);
        const double h = pose.mouth == Mouth::Oh ? 3 + open * 4 : 2 + open * 7;
        if (pose.mouth == Mouth::Oh) {
            mouth.addEllipse(m + QPointF(0, 2 + h / 2), w, h);
        } else {
            mouth.moveTo(m + QPointF(-w, 1));
            mouth.quadTo(m + QPointF(0, 2.5), m + QPointF(w, 1));
            mouth.quadTo(m + QPointF(w * 0.8, 3 + h * 1.3), m + QPointF(0, 3 + h * 1.3));
            mouth.quadTo(m + QPointF(-w * 0.8, 3 + h * 1.3), m + QPointF(-w, 1));
        }
        p.setBrush(QColor(110, 30, 45));
        p.drawPath(mouth);
        p.save();
        p.setClipPath(mouth);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(240, 110, 130));
        p.drawEllipse(m + QPointF(0, 3 + h * 1.4), w * 0.7, h * 0.55);
        p.restore();
    } else if (pose.mouth == Mouth::Flat) {
        p.drawLine(m + QPointF(-4 * wide, 3), m + QPointF(4 * wide, 3));
    } else {
        QPainterPath smile;
        smile.moveTo(m + QPointF(-5 * wide, 1.5));
        smile.quadTo(m + QPointF(0, 6.5), m + QPointF(5 * wide, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(smile);
    }
    if (t.snout == Snout::Muzzle || t.snout == Snout::Nose) {
        p.setPen(Qt::NoPen);
        p.setBrush(t.snout == Snout::Muzzle ? t.accent : outlineOf(t.main));
        if (t.snout == Snout::Muzzle) {
            p.drawEllipse(m + QPointF(0, -2.5), 3.4, 2.4);
        } else {
            p.drawEllipse(m + QPointF(-3, -3), 1.3, 1);
            p.drawEllipse(m + QPointF(3, -3), 1.3, 1);
        }
    }
}

} // namespace

void drawFace(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose)
{
    if (t.faceDisc) {
        p.setPen(QPen(outlineOf(t.belly), 1.2));
        p.setBrush(t.belly);
        for (int side = -1; side <= 1; side += 2)
            p.drawEllipse(QPointF(g.faceX + side * g.eyeGap * 1.05, g.eyeY + 1), g.eyeR * 1.55, g.eyeR * 1.5);
    }
    if (t.eyes == EyeStyle::Visor) {
        drawVisor(p, t, g, pose);
    } else {
        for (int side = -1; side <= 1; side += 2)
            drawEye(p, t, pose, QPointF(g.faceX + side * g.eyeGap, g.eyeY), g.eyeR);
    }
    if (t.brows || pose.brow != 0) {
        p.setPen(QPen(outlineOf(t.main), 2, Qt::SolidLine, Qt::RoundCap));
        for (int side = -1; side <= 1; side += 2) {
            const QPointF c(g.faceX + side * g.eyeGap, g.eyeY - g.eyeR * 1.45 - pose.brow * 3);
            // Raised brows droop at the outer end; a frown pulls the inner end down.
            p.drawLine(c + QPointF(-side * 5, pose.brow < 0 ? 2 : 0), c + QPointF(side * 5, pose.brow > 0 ? 1.5 : 0));
        }
    }
    if ((t.blush || pose.blushing) && t.eyes != EyeStyle::Visor) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 110, 130, pose.blushing ? 150 : 70));
        for (int side = -1; side <= 1; side += 2)
            p.drawEllipse(QPointF(g.faceX + side * (g.eyeGap + g.eyeR * 0.6), g.mouthY + 1), 4.5, 2.6);
    }
    if (pose.cheeksPuffed) {
        p.setPen(QPen(outlineOf(t.main), 1.2));
        p.setBrush(t.main.lighter(115));
        for (int side = -1; side <= 1; side += 2)
            p.drawEllipse(QPointF(g.faceX + side * g.eyeGap * 0.9, g.mouthY + 1), 5, 4.5);
    }
    drawMouth(p, t, g, pose);
    if (t.whiskers) {
        p.setPen(QPen(outlineOf(t.main), 1.1, Qt::SolidLine, Qt::RoundCap));
        for (int side = -1; side <= 1; side += 2)
            for (int i = -1; i <= 1; ++i)
                p.drawLine(QPointF(g.faceX + side * 7, g.mouthY + i * 2),
                           QPointF(g.faceX + side * 20, g.mouthY + i * 4 - 1));
    }
}

} // namespace chars
