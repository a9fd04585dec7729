#pragma once
// What a camera move does to the little preview scene over one loop.

#include "app/create/recipe_vocabulary.h"

#include <QSizeF>
#include <QString>

namespace quorvel::create {

struct CameraMotionSpec {
    QString description; // the one line under the diagram
    QSizeF translation; // scene shift over one cycle, in points (x right, y down)
    double startScale = 1.0;
    double endScale = 1.0;
    Cue cue = Cue::diagonal;
    double duration = 3.6; // seconds per cycle, always > 0
};

// Exact, case-sensitive key match; any other key moves like "drift".
CameraMotionSpec cameraMotionSpec(const QString& motionKey);

// What assistive technology reads for the preview as a whole.
struct CameraMotionAccessibility {
    QString label; // "Camera motion preview"
    QString value; // key + ": " + description
    QString hint; // animated or static
};
CameraMotionAccessibility cameraMotionAccessibility(const QString& motionKey, bool reduceMotion);

} // namespace quorvel::create
