#include "app/create/camera_motion_diagram.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace quorvel::create {

double cycleProgress(const CameraMotionSpec& motionSpec, std::chrono::nanoseconds time)
{
    const double seconds = std::chrono::duration<double>(time).count();
    double phase = std::fmod(seconds, motionSpec.duration);
    if (phase < 0)
        phase += motionSpec.duration;
    return std::clamp(phase / motionSpec.duration, 0.0, 1.0);
}

double easedProgress(double t)
{
    return t * t * (3 - 2 * t);
}

QPointF pointOnCircle(QPointF centre, double radius, double degrees)
{
    const double a = qDegreesToRadians(degrees);
    return { centre.x() + radius * std::cos(a), centre.y() + radius * std::sin(a) };
}

QPainterPath arrowHead(QPointF from, QPointF tip)
{
    const double theta = std::atan2(tip.y() - from.y(), tip.x() - from.x());
    const double spread = qDegreesToRadians(36.0);
    QPainterPath path;
    for (double angle : { theta + spread, theta - spread }) {
        path.moveTo(tip);
        path.lineTo(tip.x() - 4 * std::cos(angle), tip.y() - 4 * std::sin(angle));
    }
    return path;
}

QPainterPath arrow(QPointF a, QPointF b)
{
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.addPath(arrowHead(a, b));
    return path;
}

namespace {

QPainterPath quadCurve(QPointF from, QPointF control, QPointF to)
{
    QPainterPath path;
    path.moveTo(from);
    path.quadTo(control, to);
    return path;
}

QPainterPath line(QPointF a, QPointF b)
{
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    return path;
}

QPainterPath roundedRect(const QRectF& rect, double radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

OverlayStroke solid(QPainterPath path, double width = 1.4)
{
    return { std::move(path), width, Qt::RoundCap, {} };
}

// Curve plus its head, as one solid stroke of the default width.
OverlayStroke curvedArrow(QPointF from, QPointF control, QPointF to)
{
    QPainterPath path = quadCurve(from, control, to);
    path.addPath(arrowHead(control, to));
    return solid(path);
}

void addOverlay(CameraMotionFrame& frame)
{
    auto& strokes = frame.overlayStrokes;
    switch (frame.cue) {
    case Cue::pan:
        strokes.push_back(curvedArrow({ 18, 25 }, { 53, 7 }, { 96, 17 }));
        break;
    case Cue::diagonal:
        strokes.push_back(solid(arrow({ 20, 9 }, { 93, 26 })));
        break;
    case Cue::aerial:
        strokes.push_back({ quadCurve({ 17, 7 }, { 56, 9 }, { 94, 24 }), 1.3, Qt::RoundCap, { 3, 2 } });
        frame.overlayFills.push_back(roundedRect({ 14, 4, 6, 5 }, 1));
        strokes.push_back(solid(arrow({ 82, 19 }, { 94, 24 })));
        break;
    case Cue::orbit: {
        const QPointF centre(58, 18);
        const double radius = 13;
        QPainterPath arc;
        arc.moveTo(pointOnCircle(centre, radius, 150));
        // Qt counts angles anticlockwise on screen; ours turn clockwise.
        arc.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), -150, -255);
        strokes.push_back({ arc, 1.2, Qt::FlatCap, { 2, 2 } });
        const QPointF marker = pointOnCircle(centre, radius, 150 + 255 * frame.eased);
        frame.overlayFills.push_back(roundedRect({ marker.x() - 2.5, marker.y() - 2.5, 5, 5 }, 1));
        strokes.push_back(solid(arrow({ 45, 7 }, { 49, 5 })));
        break;
    }
    case Cue::zoomIn:
        strokes.push_back(solid(arrow({ 17, 27 }, { 43, 20 })));
        strokes.push_back(solid(arrow({ 99, 7 }, { 73, 14 })));
        break;
    case Cue::zoomOut:
        strokes.push_back(solid(arrow({ 43, 20 }, { 17, 27 })));
        strokes.push_back(solid(arrow({ 73, 14 }, { 99, 7 })));
        break;
    case Cue::parallax:
        strokes.push_back(solid(arrow({ 18, 27 }, { 55, 27 })));
        strokes.push_back(solid(arrow({ 96, 8 }, { 61, 8 })));
        break;
    case Cue::tiltUp:
        strokes.push_back(curvedArrow({ 24, 28 }, { 11, 18 }, { 22, 5 }));
        break;
    case Cue::tiltDown:
        strokes.push_back(curvedArrow({ 22, 5 }, { 11, 18 }, { 24, 28 }));
        break;
    case Cue::rise:
        strokes.push_back(solid(arrow({ 18, 28 }, { 18, 6 })));
        strokes.push_back(solid(line({ 12, 28 }, { 24, 28 }), 1.0));
        strokes.push_back(solid(line({ 12, 6 }, { 24, 6 }), 1.0));
        break;
    case Cue::track:
        strokes.push_back(solid(arrow({ 18, 27 }, { 98, 27 })));
        break;
    }
}

} // namespace

CameraMotionFrame cameraMotionFrame(const CameraMotionSpec& motionSpec, double t, QSizeF size)
{
    CameraMotionFrame frame;
    frame.cue = motionSpec.cue;
    frame.progress = std::clamp(t, 0.0, 1.0);
    frame.eased = easedProgress(frame.progress);
    const double p = frame.eased;
    frame.scale = motionSpec.startScale + (motionSpec.endScale - motionSpec.startScale) * p;
    frame.dx = motionSpec.translation.width() * p;
    frame.dy = motionSpec.translation.height() * p;

    const double w = size.width();
    const double cx = w / 2;
    const double cy = size.height() / 2;
    const bool parallax = motionSpec.cue == Cue::parallax;
    // Behind a parallax sway the far layers drift a little the other way.
    const double backgroundDx = parallax ? -0.35 * frame.dx : frame.dx;
    const double sunDx = parallax ? 0.2 * frame.dx : frame.dx;
    auto place = [&](double x, double y, double shift) {
        return QPointF(cx + (x - cx) * frame.scale + shift, cy + (y - cy) * frame.scale + frame.dy);
    };
    auto background = [&](double x, double y) { return place(x, y, backgroundDx); };
    auto foreground = [&](double x, double y) { return place(x, y, frame.dx); };

    frame.frame = QRectF(QPointF(0, 0), size).adjusted(0.75, 0.75, -0.75, -0.75);
    frame.horizon = QLineF(background(-8, 22), background(w + 8, 22));
    frame.hill << background(-5, 24) << background(23, 11) << background(42, 24) << background(65, 14)
               << background(94, 24);
    frame.sunCentre = place(58, 18, sunDx);
    frame.sunDiameter = 7 * frame.scale;
    frame.foreground.moveTo(foreground(-8, 30));
    frame.foreground.cubicTo(foreground(22, 23), foreground(82, 35), foreground(w + 8, 30));
    addOverlay(frame);
    return frame;
}

CameraMotionFrame staticCameraMotionFrame(const CameraMotionSpec& motionSpec, QSizeF size)
{
    return cameraMotionFrame(motionSpec, reducedMotionProgress, size);
}

} // namespace quorvel::create
