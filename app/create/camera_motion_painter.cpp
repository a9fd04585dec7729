#include "app/create/camera_motion_painter.h"

#include <QPainter>
#include <QPalette>

namespace quorvel::create {

namespace {

QColor withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return colour;
}

QPen pen(const QColor& colour, double width, Qt::PenCapStyle cap = Qt::SquareCap)
{
    QPen pen(colour, width, Qt::SolidLine, cap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

} // namespace

DiagramColours DiagramColours::fromPalette(const QPalette& palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    return { text, withOpacity(text, 0.55), palette.color(QPalette::Highlight) };
}

void paintCameraMotionFrame(QPainter& painter, const CameraMotionFrame& frame, const DiagramColours& colours)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath outline;
    outline.addRoundedRect(frame.frame, frame.cornerRadius, frame.cornerRadius);
    painter.fillPath(outline, withOpacity(colours.secondary, 0.08));
    painter.setClipPath(outline, Qt::IntersectClip);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(pen(withOpacity(colours.secondary, 0.35), 1));
    painter.drawLine(frame.horizon);

    QPainterPath hill;
    hill.addPolygon(frame.hill);
    hill.closeSubpath();
    painter.fillPath(hill, withOpacity(colours.secondary, 0.13));
    painter.strokePath(hill, pen(withOpacity(colours.secondary, 0.38), 0.8));

    const double r = frame.sunDiameter / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(colours.accent, 0.72));
    painter.drawEllipse(frame.sunCentre, r, r);

    painter.strokePath(frame.foreground, pen(withOpacity(colours.primary, 0.26), 2));

    const QColor overlay = withOpacity(colours.accent, 0.9);
    for (const OverlayStroke& stroke : frame.overlayStrokes) {
        QPen strokePen = pen(overlay, stroke.width, stroke.cap);
        if (!stroke.dashes.isEmpty()) {
            // QPen measures dashes in pen widths; ours are in points.
            QList<qreal> pattern;
            for (qreal length : stroke.dashes)
                pattern << length / stroke.width;
            strokePen.setDashPattern(pattern);
        }
        painter.strokePath(stroke.path, strokePen);
    }
    for (const QPainterPath& fill : frame.overlayFills)
        painter.fillPath(fill, overlay);

    painter.strokePath(outline, pen(withOpacity(colours.secondary, 0.32), 1));
    painter.restore();
}

} // namespace quorvel::create
