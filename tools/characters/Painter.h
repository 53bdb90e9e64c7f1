// Draws one frame of a character: its traits in a pose, on a transparent picture.
#pragma once

#include "Look.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>

namespace chars {

// Every character shares one frame size; the feet stand on a ground line near the
// bottom edge, centred.
constexpr int FrameWidth = 128;
constexpr int FrameHeight = 128;

QImage drawFrame(const Traits &traits, const Pose &pose);

// Where the body's parts sit, in the body's own coordinates: the origin is on the
// ground under the body's centre and negative y is up.
struct Geometry
{
    double w = 60, h = 70;      // body size
    double bottom = 0;          // y of the body's lowest point
    double cy = 0;              // y of the body's centre
    double top = 0;             // y of the body's top
    double faceX = 0;           // horizontal centre of the face
    double eyeY = 0, eyeGap = 0, eyeR = 0;
    double mouthY = 0;
    QPointF shoulderL, shoulderR;
    double armLength = 18;
};

Geometry geometryFor(const Traits &traits, const Pose &pose);

// The parts, each drawn in body coordinates (PainterParts.cpp, PainterFace.cpp,
// PainterProps.cpp and PainterEffects.cpp).
QColor outlineOf(const QColor &fill);
void fillOutlined(QPainter &p, const QPainterPath &path, const QColor &fill, double width = 1.6);
// A thick line with an outline, for limbs, stalks and poles.
void strokeOutlined(QPainter &p, QPointF a, QPointF b, const QColor &c, double width);
void drawTail(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose);
void drawWings(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose);
void drawEars(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose);
void drawFeet(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose);
void drawArm(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose, bool left);
QPointF handPosition(const Geometry &g, double angle, bool left);
void drawHat(QPainter &p, const Geometry &g);
void drawBowTie(QPainter &p, const Geometry &g);
void drawProp(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose);
void drawFace(QPainter &p, const Traits &t, const Geometry &g, const Pose &pose);
// Effects are drawn in frame coordinates around the point above the head.
void drawEffect(QPainter &p, const Pose &pose, QPointF headTop, QPointF propTip);

} // namespace chars
