#include "app/create/camera_motion_spec.h"

namespace quorvel::create {

namespace {

struct CueParameters {
    QSizeF translation;
    double startScale;
    double endScale;
    double duration;
};

CueParameters parameters(Cue cue)
{
    switch (cue) {
    case Cue::pan:
        return { { -14, 0 }, 1.0, 1.0, 3.2 };
    case Cue::diagonal:
        return { { -8, 5 }, 1.0, 1.0, 3.6 };
    case Cue::orbit:
        return { { 0, 0 }, 1.0, 1.0, 3.2 };
    case Cue::zoomIn:
        return { { 0, 0 }, 1.0, 1.34, 3.2 };
    case Cue::aerial:
        return { { -9, 4 }, 1.0, 1.16, 3.0 };
    case Cue::parallax:
        return { { 10, 0 }, 1.0, 1.0, 3.4 };
    case Cue::zoomOut:
        return { { 0, 0 }, 1.34, 0.88, 3.2 };
    case Cue::tiltUp:
        return { { 0, 10 }, 1.0, 1.0, 3.0 };
    case Cue::tiltDown:
        return { { 0, -10 }, 1.0, 1.0, 3.0 };
    case Cue::rise:
        return { { 0, 10 }, 1.0, 1.0, 3.2 };
    case Cue::track:
        return { { -15, 0 }, 1.0, 1.0, 3.0 };
    }
    return { { -8, 5 }, 1.0, 1.0, 3.6 };
}

} // namespace

CameraMotionSpec cameraMotionSpec(const QString& motionKey)
{
    const Motion& motion = vocabulary::motion(motionKey);
    const CueParameters p = parameters(motion.cue);
    return { motion.description, p.translation, p.startScale, p.endScale, motion.cue, p.duration };
}

CameraMotionAccessibility cameraMotionAccessibility(const QString& motionKey, bool reduceMotion)
{
    return { QStringLiteral("Camera motion preview"),
        motionKey + QStringLiteral(": ") + cameraMotionSpec(motionKey).description,
        reduceMotion ? QStringLiteral("Static direction diagram") : QStringLiteral("Animated direction diagram") };
}

} // namespace quorvel::create
