#include "Painter.h"

#include <QPainterPath>
#include <QtMath>

namespace chars {

namespace {

constexpr double GroundY = FrameHeight - 6;

double legHeight(const Traits &t, const Pose &pose)
{
    switch (t.feet) {
    case Feet::Legs: return 11;
    case Feet::Flat: return 5;
    case Feet::Float: return 12 + 3 * std::sin(pose.step + pose.sway);
    case Feet::Slide: return 0;
    }
    return 0;
}

QPainterPath bodyPath(const Traits &t, const Geometry &g, const Pose &pose)
{
    const double w = g.w, h = g.h, cy = g.cy, top = g.top, bottom = g.bottom;
    QPainterPath path;
    switch (t.body) {
    case BodyShape::Round:
        path.addEllipse(QPointF(0, cy), w / 2, h / 2);
        break;
    case BodyShape::Wide:
        path.addRoundedRect(QRectF(-w / 2, top, w, h), w * 0.45, h * 0.5);
        break;
    case BodyShape::Egg:
        path.moveTo(0, top);
        path.cubicTo(w * 0.36, top, w * 0.5, cy - h * 0.12, w * 0.5, cy + h * 0.12);
        path.cubicTo(w * 0.5, bottom - h * 0.05, w * 0.3, bottom, 0, bottom);
        path.cubicTo(-w * 0.3, bottom, -w * 0.5, bottom - h * 0.05, -w * 0.5, cy + h * 0.12);
        path.cubicTo(-w * 0.5, cy - h * 0.12, -w * 0.36, top, 0, top);
        break;
    case BodyShape::Box:
        path.addRoundedRect(QRectF(-w / 2, top, w, h), 11, 11);
        break;
    case BodyShape::Ghost: {
        // A dome with a scalloped hem that ripples as the ghost drifts.
        path.moveTo(-w / 2, cy);
        path.arcTo(QRectF(-w / 2, top, w, h * 0.95), 180, -180);
        path.lineTo(w / 2, bottom - 4);
        const int scallops = 4;
        const double sw = w / scallops;
        for (int i = 0; i < scallops; ++i) {
            const double x0 = w / 2 - i * sw;
            const double lift = 3 * std::sin(pose.step * 2 + pose.sway * 2 + i * 1.7);
            path.quadTo(x0 - sw / 2, bottom + 5 + lift, x0 - sw, bottom - 4);
        }
        path.closeSubpath();
        break;
    }
    case BodyShape::Snail: {
        // An upright front (which carries the face) on a foot that trails behind.
        const double fw = w * 0.5;
        path.addRoundedRect(QRectF(g.faceX - fw / 2, top, fw, h), fw / 2, fw / 2);
        QPainterPath foot;
        foot.addRoundedRect(QRectF(-w * 0.62, bottom - 11, w * 0.62 + g.faceX + fw / 2, 11), 5.5, 5.5);
        path = path.united(foot);
        break;
    }
    }
    return path;
}

void drawShell(QPainter &p, const Traits &t, const Geometry &g)
{
    const QPointF c(-g.w * 0.3, g.bottom - g.h * 0.42);
    const double r = g.w * 0.36;
    QRadialGradient grad(c + QPointF(-r * 0.3, -r * 0.3), r * 1.3);
    grad.setColorAt(0, t.accent.lighter(125));
    grad.setColorAt(1, t.accent);
    p.setPen(QPen(outlineOf(t.accent), 1.6));
    p.setBrush(grad);
    p.drawEllipse(c, r, r);
    // The spiral, drawn as a chain of shrinking half-turns.
    QPainterPath spiral;
    double rr = r * 0.8;
    QPointF centre = c;
    spiral.moveTo(centre + QPointF(rr, 0));
    for (int i = 0; i < 5; ++i) {
        const double start = (i % 2 == 0) ? 0 : 180;
        spiral.arcTo(QRectF(centre.x() - rr, centre.y() - rr, 2 * rr, 2 * rr), start, 180);
        const double next = rr * 0.72;
        centre += QPointF((i % 2 == 0 ? 1 : -1) * (rr - next), 0);
        rr = next;
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outlineOf(t.accent), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(spiral);
}

void drawFront(QPainter &p, const Traits &t, const Geometry &g, const QPainterPath &body)
{
    p.save();
    p.setClipPath(body);
    p.setPen(Qt::NoPen);
    if (t.belly.isValid()) {
        p.setBrush(t.belly);
        if (t.body == BodyShape::Box) {
            const QRectF panel(-g.w * 0.28, g.cy + g.h * 0.08, g.w * 0.56, g.h * 0.3);
            p.setPen(QPen(outlineOf(t.belly), 1.2));
            p.drawRoundedRect(panel, 4, 4);
            const QColor lights[] = {QColor(240, 80, 80), QColor(250, 210, 60), QColor(90, 220, 120)};
            for (int i = 0; i < 3; ++i) {
                p.setBrush(lights[i]);
                p.drawEllipse(QPointF(panel.left() + panel.width() * (0.22 + 0.28 * i), panel.center().y()), 3, 3);
            }
        } else {
            p.drawEllipse(QPointF(g.faceX, g.cy + g.h * 0.22), g.w * 0.31, g.h * 0.34);
        }
    }
    if (t.spots) {
        p.setBrush(t.main.darker(125));
        const QPointF spots[] = {{-0.33, -0.22}, {0.3, -0.3}, {-0.38, 0.12}, {0.36, 0.05}, {0.22, -0.42}};
        for (const QPointF &s : spots)
            p.drawEllipse(QPointF(g.faceX + s.x() * g.w, g.cy + s.y() * g.h), g.w * 0.05, g.w * 0.045);
    }
    // A soft highlight on the upper left gives the body some roundness.
    QRadialGradient shine(QPointF(g.faceX - g.w * 0.22, g.top + g.h * 0.2), g.w * 0.5);
    shine.setColorAt(0, QColor(255, 255, 255, 70));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawRect(body.boundingRect());
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outlineOf(t.main), 1.8));
    p.drawPath(body);
}

} // namespace

QColor outlineOf(const QColor &fill)
{
    return fill.darker(185);
}

Geometry geometryFor(const Traits &t, const Pose &pose)
{
    Geometry g;
    g.w = t.bodyWidth;
    g.h = t.bodyHeight;
    g.bottom = -legHeight(t, pose);
    g.top = g.bottom - g.h;
    g.cy = g.bottom - g.h / 2;
    g.faceX = t.body == BodyShape::Snail ? g.w * 0.22 : 0;
    const double faceW = t.body == BodyShape::Snail ? g.w * 0.5 : g.w;
    g.eyeR = faceW * (t.eyes == EyeStyle::Big ? 0.15 : 0.12);
    g.eyeGap = faceW * (t.eyes == EyeStyle::Big ? 0.2 : 0.19);
    g.eyeY = g.cy - g.h * (t.body == BodyShape::Egg ? 0.16 : 0.12);
    if (t.ears == Ears::Bumps)
        g.eyeY = g.top + g.eyeR * 0.4;
    if (t.ears == Ears::Stalks)
        g.eyeY = g.top - 14;
    g.mouthY = (t.ears == Ears::Stalks ? g.top + 14 : g.eyeY + g.eyeR + g.h * 0.1);
    const double shoulderY = g.cy + g.h * 0.08;
    const double sx = (t.body == BodyShape::Snail ? faceW / 2 : g.w / 2 * (t.body == BodyShape::Egg ? 0.96 : 0.92));
    g.shoulderL = QPointF(g.faceX - sx + 2, shoulderY);
    g.shoulderR = QPointF(g.faceX + sx - 2, shoulderY);
    g.armLength = t.arms == ArmStyle::Flipper ? 20 : 16;
    return g;
}

QImage drawFrame(const Traits &t, const Pose &pose)
{
    QImage image(FrameWidth, FrameHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (pose.scale < 0.02 || pose.opacity < 0.02)
        return image;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(pose.opacity);
    p.translate(FrameWidth / 2.0, GroundY);
    p.scale(pose.scale, pose.scale);

    const Geometry g = geometryFor(t, pose);
    // The shadow stays on the ground and shrinks as the character leaves it.
    const double air = std::max(0.0, -pose.dy - g.bottom) / 60.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, int(55 * (1 - std::min(air, 0.6)))));
    p.drawEllipse(QPointF(pose.dx * 0.8, 0), g.w * 0.45 * (1 - air * 0.5), 4);

    p.save();
    p.translate(pose.dx, pose.dy);
    p.rotate(pose.lean);
    p.scale(1 + pose.squash * 0.5, 1 - pose.squash);

    const QPainterPath body = bodyPath(t, g, pose);
    drawTail(p, t, g, pose);
    drawWings(p, t, g, pose);
    drawEars(p, t, g, pose);
    drawFeet(p, t, g, pose);
    QLinearGradient fill(0, g.top, 0, g.bottom);
    fill.setColorAt(0, t.main.lighter(108));
    fill.setColorAt(1, t.main.darker(108));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(body);
    drawFront(p, t, g, body);
    if (t.body == BodyShape::Snail) {
        drawArm(p, t, g, pose, true);    // the shell hides the far arm
        drawShell(p, t, g);
    }
    drawFace(p, t, g, pose);
    if (t.bowTie)
        drawBowTie(p, g);
    if (t.topHat)
        drawHat(p, g);
    if (t.body != BodyShape::Snail)
        drawArm(p, t, g, pose, true);
    drawProp(p, t, g, pose);
    drawArm(p, t, g, pose, false);
    const QPointF headTop = p.transform().map(QPointF(g.faceX, g.top - (t.topHat ? 22 : 6)));
    QPointF propTip = p.transform().map(QPointF(g.faceX + 40, g.mouthY - 12));
    p.restore();

    p.resetTransform();
    p.setOpacity(pose.opacity);
    drawEffect(p, pose, headTop, propTip);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace chars
