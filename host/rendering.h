#pragma once
// How quorvel-saver renders; call before the QApplication exists.

#include <QCoreApplication>

namespace quorvel::saver {

// Pure raster top-level widgets. Qt 6.4 otherwise converts every video frame for a raster widget
// through an OpenGL context, whose set-up alone delays the first frame by 70-200 ms on software GL
// (measured under Xvfb), and reads each frame back from it. Modules draw with QPainter and graphics
// views, so they lose nothing.
inline void prepareSaverRendering()
{
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
}

} // namespace quorvel::saver
