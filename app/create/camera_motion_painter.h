#pragma once
// Paints one frame of the camera motion diagram in its own 116 x 34 point coordinates.

#include "app/create/camera_motion_diagram.h"

#include <QColor>

class QPainter;
class QPalette;

namespace quorvel::create {

struct DiagramColours {
    QColor primary;
    QColor secondary;
    QColor accent;
    // Text colour, a dimmed text colour and the highlight of the palette.
    static DiagramColours fromPalette(const QPalette& palette);
};

// Draws in diagram coordinates; the caller translates and scales the painter onto the surface.
// Leaves the painter's state as it found it.
void paintCameraMotionFrame(QPainter& painter, const CameraMotionFrame& frame, const DiagramColours& colours);

} // namespace quorvel::create
