// The little effects around the head: notes, sparkles, confetti, sleep, speed lines.
#include "Painter.h"

#include <QPainterPath>
#include <QtMath>

#include <algorithm>

namespace chars {

namespace {

void drawNote(QPainter &p, QPointF at, double size, const QColor &c)
{
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(c);
    p.drawEllipse(at, size * 0.5, size * 0.36);
    p.drawLine(at + QPointF(size * 0.45, 0), at + QPointF(size * 0.45, -size * 1.5));
    p.drawLine(at + QPointF(size * 0.45, -size * 1.5), at + QPointF(size * 1.0, -size * 1.1));
}

void drawStar(QPainter &p, QPointF c, double r, const QColor &col)
{
    QPainterPath star;
    for (int i = 0; i < 8; ++i) {
        const double a = M_PI / 4 * i;
        const double rr = (i % 2 == 0) ? r : r * 0.3;
        const QPointF pt = c + QPointF(std::sin(a) * rr, -std::cos(a) * rr);
        i == 0 ? star.moveTo(pt) : star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawPath(star);
}

// Keeps an effect's anchor far enough from the frame's edges for the effect to fit.
QPointF within(QPointF at, double margin, double top)
{
    return QPointF(std::clamp(at.x(), margin, FrameWidth - margin), std::max(at.y(), top));
}

} // namespace

void drawEffect(QPainter &p, const Pose &pose, QPointF headTop, QPointF propTip)
{
    const double k = pose.effectPhase;
    const QPointF fromHead = headTop;
    headTop = within(fromHead, 40, 22);
    propTip = within(propTip, 12, 30);
    propTip.setX(std::min(propTip.x(), FrameWidth - 26.0));
    switch (pose.effect) {
    case Effect::None:
        break;
    case Effect::Exclaim:
    case Effect::Question: {
        const QPointF at = within(fromHead, 24, 26) + QPointF(18, -4);
        const double s = std::min(1.0, 0.5 + k);
        p.setPen(QPen(QColor(120, 20, 20), 1.2));
        p.setBrush(QColor(235, 50, 50));
        if (pose.effect == Effect::Exclaim) {
            p.drawRoundedRect(QRectF(at.x() - 2.5 * s, at.y() - 16 * s, 5 * s, 11 * s), 2.5, 2.5);
        } else {
            QPainterPath q;
            q.moveTo(at + QPointF(-5, -12) * s);
            q.cubicTo(at + QPointF(-5, -20) * s, at + QPointF(6, -20) * s, at + QPointF(5, -12) * s);
            q.quadTo(at + QPointF(4, -8) * s, at + QPointF(0, -6) * s);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(235, 50, 50), 3 * s, Qt::SolidLine, Qt::RoundCap));
            p.drawPath(q);
            p.setPen(QPen(QColor(120, 20, 20), 1.2));
            p.setBrush(QColor(235, 50, 50));
        }
        p.drawEllipse(at + QPointF(0, 0), 2.8 * s, 2.8 * s);
        break;
    }
    case Effect::Notes:
        for (int i = 0; i < 2; ++i) {
            const double kk = std::fmod(k + i * 0.5, 1.0);
            const QPointF at = propTip + QPointF(4 + i * 8 + kk * 6, -kk * 22);
            drawNote(p, at, 6, QColor(60, 60, 160, int(255 * (1 - kk * 0.7))));
        }
        break;
    case Effect::Sparkles: {
        const QPointF spots[] = {{-30, 6}, {28, -2}, {-18, -12}, {34, 20}, {-36, 30}};
        for (int i = 0; i < 5; ++i) {
            const double pulse = 0.5 + 0.5 * std::sin(k * 2 * M_PI + i * 1.3);
            drawStar(p, headTop + spots[i], 3 + 4 * pulse, QColor(255, 205, 40, 230));
        }
        break;
    }
    case Effect::Confetti: {
        const QColor colours[] = {{240, 70, 90}, {70, 160, 240}, {250, 200, 50}, {90, 200, 120}, {180, 100, 220}};
        for (int i = 0; i < 14; ++i) {
            const double x = ((i * 37) % 88) - 44;
            const double y = ((i * 53) % 40) - 30 + k * 40 + (i % 3) * 4;
            p.save();
            p.translate(headTop + QPointF(x, y));
            p.rotate(i * 40 + k * 180);
            p.setPen(Qt::NoPen);
            p.setBrush(colours[i % 5]);
            p.drawRect(QRectF(-2, -1.2, 4, 2.4));
            p.restore();
        }
        break;
    }
    case Effect::Zzz:
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 3; ++i) {
            const double s = 3 + i * 1.6;
            const QPointF at = within(fromHead, 50, 40) + QPointF(14 + i * 8, -i * 9 - k * 5);
            p.setPen(QPen(QColor(90, 110, 180, 220), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            const QPointF pts[] = {at + QPointF(-s, -s), at + QPointF(s, -s), at + QPointF(-s, s), at + QPointF(s, s)};
            p.drawPolyline(pts, 4);
        }
        break;
    case Effect::SpeedLines: {
        const bool vertical = std::abs(pose.effectSide) > 1.5;
        const double side = pose.effectSide > 0 ? 1 : -1;
        p.setPen(QPen(QColor(120, 120, 140, 160), 1.6, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 3; ++i) {
            const double off = (i - 1) * 12 + std::fmod(k * 8 + i * 3, 6);
            if (vertical) {
                const QPointF a(headTop.x() + off, side > 0 ? 110 - i * 2 : headTop.y() - 2);
                p.drawLine(a, a + QPointF(0, side > 0 ? 10 : -10));
            } else {
                const QPointF a(headTop.x() - side * 36, headTop.y() + 30 + off);
                p.drawLine(a, a - QPointF(side * 12, 0));
            }
        }
        break;
    }
    }
}

} // namespace chars
