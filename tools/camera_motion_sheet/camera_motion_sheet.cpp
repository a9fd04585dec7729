// Lets the camera motion diagrams be looked at as a user would:
//   camera_motion_sheet OUT.png [SCALE]    one row per move: a few moments of the loop, then the still frame
#include "app/create/camera_motion_painter.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include <cstdio>

using namespace quorvel::create;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: camera_motion_sheet OUT.png [SCALE]\n");
        return 2;
    }
    const double scale = argc > 2 ? QString::fromLocal8Bit(argv[2]).toDouble() : 3.0;
    const double moments[] = { 0.0, 0.25, 0.5, 0.75, 1.0, -1.0 }; // -1: the reduced-motion still frame
    const QSizeF cell(diagramSize.width() * scale + 16, diagramSize.height() * scale + 16);
    const int labelWidth = 260;
    QImage sheet(int(labelWidth + std::size(moments) * cell.width()), int(vocabulary::motionCount * cell.height()),
        QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    const DiagramColours colours = DiagramColours::fromPalette(app.palette());
    double top = 0;
    for (const Motion& motion : vocabulary::motions()) {
        const CameraMotionSpec motionSpec = cameraMotionSpec(motion.key);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(8, top, labelWidth - 8, cell.height()), Qt::AlignVCenter,
            motion.key + QStringLiteral("\n") + motionSpec.description);
        double left = labelWidth + 8;
        for (double t : moments) {
            painter.save();
            painter.translate(left, top + 8);
            painter.scale(scale, scale);
            paintCameraMotionFrame(
                painter, t < 0 ? staticCameraMotionFrame(motionSpec) : cameraMotionFrame(motionSpec, t), colours);
            painter.restore();
            left += cell.width();
        }
        top += cell.height();
    }
    painter.end();
    if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
