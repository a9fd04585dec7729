#pragma once
// The geometry of one frame of the camera motion diagram: a tiny scene (horizon, hill, sun,
// foreground path) moved and scaled by the camera move, plus a fixed arrow overlay per cue.
// Pure values, so every frame can be checked without a display.

#include "app/create/camera_motion_spec.h"

#include <QLineF>
#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QSizeF>

#include <chrono>
#include <vector>

namespace quorvel::create {

inline constexpr QSizeF diagramSize { 116, 34 };
// Redraws at most 30 times a second.
inline constexpr std::chrono::milliseconds diagramFrameInterval { 1000 / 30 };
// The still frame drawn when the desktop asks for reduced motion.
inline constexpr double reducedMotionProgress = 0.68;

// Raw progress in [0, 1): the time modulo one cycle, over the cycle length.
double cycleProgress(const CameraMotionSpec& motionSpec, std::chrono::nanoseconds time);
// Smoothstep: slow start and slow end. Maps [0, 1] onto [0, 1].
double easedProgress(double t);

// One stroke of the direction overlay; dashes are on/off lengths in points (empty = solid).
struct OverlayStroke {
    QPainterPath path;
    double width = 1.4;
    Qt::PenCapStyle cap = Qt::RoundCap;
    QList<qreal> dashes;
};

struct CameraMotionFrame {
    Cue cue = Cue::diagonal;
    double progress = 0; // raw
    double eased = 0;
    double scale = 1;
    double dx = 0; // shift of the foreground
    double dy = 0;

    QRectF frame; // the surface inset by 0.75; everything is clipped to it
    double cornerRadius = 5;
    QLineF horizon;
    QPolygonF hill; // closed by the painter
    QPointF sunCentre;
    double sunDiameter = 7;
    QPainterPath foreground; // one cubic curve

    // Fixed surface coordinates, never moved by the camera.
    std::vector<OverlayStroke> overlayStrokes;
    std::vector<QPainterPath> overlayFills;
};

// The frame at raw progress t (0 <= t <= 1) on a surface of the given size.
CameraMotionFrame cameraMotionFrame(const CameraMotionSpec& motionSpec, double t, QSizeF size = diagramSize);
// The still frame of reduced motion.
CameraMotionFrame staticCameraMotionFrame(const CameraMotionSpec& motionSpec, QSizeF size = diagramSize);

// Two 4-point strokes back from tip, 36 degrees either side of the direction from `from` to `tip`.
QPainterPath arrowHead(QPointF from, QPointF tip);
// The line from a to b and its head at b.
QPainterPath arrow(QPointF a, QPointF b);
// The point at `degrees` on a circle, angles turning clockwise on screen (y downwards).
QPointF pointOnCircle(QPointF centre, double radius, double degrees);

} // namespace quorvel::create
