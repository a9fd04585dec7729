#include "app/create/camera_motion_diagram.h"

#include <gtest/gtest.h>

#include <QtMath>

#include <cmath>

namespace quorvel::create {
namespace {

using namespace std::chrono_literals;

constexpr double eps = 1e-9;

void expectPoint(QPointF actual, QPointF expected, double tolerance = 1e-6)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
}

TEST(CameraMotionSpec, ZoomsAndTranslationsHaveTheirDirections)
{
    const CameraMotionSpec pushIn = cameraMotionSpec("push-in");
    EXPECT_EQ(pushIn.cue, Cue::zoomIn);
    EXPECT_DOUBLE_EQ(pushIn.startScale, 1.0);
    EXPECT_DOUBLE_EQ(pushIn.endScale, 1.34);
    const CameraMotionSpec pullBack = cameraMotionSpec("pull back");
    EXPECT_DOUBLE_EQ(pullBack.startScale, 1.34); // starts larger than life
    EXPECT_DOUBLE_EQ(pullBack.endScale, 0.88); // and ends smaller
    for (const char* still : { "orbit", "push-in", "pull back" })
        EXPECT_TRUE(cameraMotionSpec(QString::fromUtf8(still)).translation.isNull()) << still;
    // Tilting up moves the scene down, and the other way round.
    EXPECT_GT(cameraMotionSpec("tilt up").translation.height(), 0);
    EXPECT_LT(cameraMotionSpec("tilt down").translation.height(), 0);
    EXPECT_EQ(cameraMotionSpec("dolly zoom").translation, QSizeF(-8, 5)); // moves like drift
    for (const Motion& m : vocabulary::motions()) {
        const CameraMotionSpec motionSpec = cameraMotionSpec(m.key);
        EXPECT_EQ(motionSpec.cue, m.cue) << m.key.toStdString();
        EXPECT_EQ(motionSpec.description, m.description);
        EXPECT_GT(motionSpec.duration, 2.9);
        EXPECT_LT(motionSpec.duration, 3.7);
    }
}

TEST(CameraMotionSpec, AccessibilityTextsNameTheMoveAndWhetherItMoves)
{
    const CameraMotionAccessibility animated = cameraMotionAccessibility("drift", false);
    EXPECT_EQ(animated.label, "Camera motion preview");
    EXPECT_EQ(animated.value, "drift: Float gently diagonally");
    EXPECT_EQ(animated.hint, "Animated direction diagram");
    EXPECT_EQ(cameraMotionAccessibility("tilt up", true).hint, "Static direction diagram");
    EXPECT_EQ(cameraMotionAccessibility("nonsense", true).value, "nonsense: Float gently diagonally");
}

TEST(CameraMotionTiming, EasingIsSmoothstep)
{
    EXPECT_NEAR(easedProgress(0), 0, eps);
    EXPECT_NEAR(easedProgress(0.5), 0.5, eps);
    EXPECT_NEAR(easedProgress(1), 1, eps);
    EXPECT_NEAR(easedProgress(0.25), 0.15625, eps);
    EXPECT_NEAR(easedProgress(0.68), 0.758336, eps);
}

// Walks a timeline frame by frame, as the widget's timer would, across several cycles.
TEST(CameraMotionTiming, EveryCycleLastsExactlyItsDurationAndRestartsAtZero)
{
    const CameraMotionSpec pan = cameraMotionSpec("slow pan"); // 3.2 s
    EXPECT_NEAR(cycleProgress(pan, 0ms), 0, eps);
    EXPECT_NEAR(cycleProgress(pan, 800ms), 0.25, eps);
    EXPECT_NEAR(cycleProgress(pan, 1600ms), 0.5, eps);
    EXPECT_NEAR(cycleProgress(pan, 3200ms), 0, eps);
    EXPECT_NEAR(cycleProgress(pan, 4800ms), 0.5, eps);
    EXPECT_NEAR(cycleProgress(pan, 3200s + 800ms), 0.25, 1e-6); // long-running clocks keep the phase

    int wraps = 0;
    double previous = 0;
    for (auto time = 0ms; time <= 9600ms; time += diagramFrameInterval) {
        const double t = cycleProgress(pan, time);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, 1);
        if (t < previous)
            ++wraps;
        previous = t;
    }
    EXPECT_EQ(wraps, 2); // 9.6 s of frames are three cycles of 3.2 s, restarting twice
    EXPECT_EQ(diagramFrameInterval, 33ms);
}

struct GeometryCase {
    const char* what;
    const char* motion;
    double t;
    double scale;
    double dx, dy;
    QPointF horizonStart;
    QPointF sunCentre;
    QPointF foregroundStart;
};

// Scene points scale about the centre (58, 17) and then shift.
TEST(CameraMotionGeometry, ScenePointsScaleAboutTheCentreThenShift)
{
    const GeometryCase cases[] = {
        { "push-in ends at 1.34 without moving", "push-in", 1, 1.34, 0, 0, { 58 - 66 * 1.34, 17 + 5 * 1.34 },
            { 58, 17 + 1.34 }, { 58 - 66 * 1.34, 17 + 13 * 1.34 } },
        { "pull back starts at 1.34", "pull back", 0, 1.34, 0, 0, { 58 - 66 * 1.34, 17 + 5 * 1.34 }, { 58, 17 + 1.34 },
            { 58 - 66 * 1.34, 17 + 13 * 1.34 } },
        { "pull back ends at 0.88", "pull back", 1, 0.88, 0, 0, { 58 - 66 * 0.88, 17 + 5 * 0.88 }, { 58, 17 + 0.88 },
            { 58 - 66 * 0.88, 17 + 13 * 0.88 } },
        { "slow pan half-way has moved half", "slow pan", 0.5, 1, -7, 0, { -15, 22 }, { 51, 18 }, { -15, 30 } },
        { "drift at the end of a cycle", "drift", 1, 1, -8, 5, { -16, 27 }, { 50, 23 }, { -16, 35 } },
        { "aerial glide zooms and shifts", "aerial glide", 1, 1.16, -9, 4, { 58 - 66 * 1.16 - 9, 17 + 5 * 1.16 + 4 },
            { 58 - 9, 17 + 1.16 + 4 }, { 58 - 66 * 1.16 - 9, 17 + 13 * 1.16 + 4 } },
        { "parallax background drifts against the foreground", "parallax sway", 1, 1, 10, 0, { -8 - 3.5, 22 },
            { 58 + 2, 18 }, { -8 + 10, 30 } },
        { "orbit never moves the scene", "orbit", 0.7, 1, 0, 0, { -8, 22 }, { 58, 18 }, { -8, 30 } },
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.what);
        const CameraMotionFrame f = cameraMotionFrame(cameraMotionSpec(QString::fromUtf8(c.motion)), c.t);
        EXPECT_NEAR(f.scale, c.scale, eps);
        EXPECT_NEAR(f.dx, c.dx, eps);
        EXPECT_NEAR(f.dy, c.dy, eps);
        expectPoint(f.horizon.p1(), c.horizonStart);
        expectPoint(f.sunCentre, c.sunCentre);
        expectPoint(f.foreground.elementAt(0), c.foregroundStart);
        EXPECT_NEAR(f.sunDiameter, 7 * c.scale, eps);
    }
}

TEST(CameraMotionGeometry, StillFrameIsTheEasedPointSixEightFrame)
{
    const CameraMotionSpec drift = cameraMotionSpec("drift");
    const CameraMotionFrame still = staticCameraMotionFrame(drift);
    EXPECT_NEAR(still.progress, 0.68, eps);
    EXPECT_NEAR(still.eased, 0.758336, eps);
    EXPECT_NEAR(still.dx, -8 * 0.758336, eps);
    EXPECT_NEAR(still.dy, 5 * 0.758336, eps);
    EXPECT_EQ(still.foreground, cameraMotionFrame(drift, 0.68).foreground);
}

TEST(CameraMotionOverlay, ArrowHeadsPointBackwardsFromTheTip)
{
    // A level arrow to the right: both strokes end 4 points back, 36 degrees above and below.
    const QPainterPath head = arrowHead({ 18, 27 }, { 98, 27 });
    ASSERT_EQ(head.elementCount(), 4);
    const double back = 4 * std::cos(qDegreesToRadians(36.0));
    const double side = 4 * std::sin(qDegreesToRadians(36.0));
    expectPoint(head.elementAt(0), { 98, 27 });
    expectPoint(head.elementAt(1), { 98 - back, 27 - side });
    expectPoint(head.elementAt(2), { 98, 27 });
    expectPoint(head.elementAt(3), { 98 - back, 27 + side });
    // Straight up: the strokes hang below the tip.
    const QPainterPath up = arrowHead({ 18, 28 }, { 18, 6 });
    EXPECT_GT(up.elementAt(1).y, 6);
    EXPECT_GT(up.elementAt(3).y, 6);
}

// Angles turn clockwise on screen, so the dashed orbit arc runs over the top of the sun and
// leaves its gap at the bottom.
TEST(CameraMotionOverlay, OrbitArcRunsOverTheTopAndItsMarkerTravelsAlongIt)
{
    const CameraMotionSpec orbit = cameraMotionSpec("orbit");
    const CameraMotionFrame start = cameraMotionFrame(orbit, 0);
    ASSERT_FALSE(start.overlayStrokes.empty());
    const OverlayStroke& arc = start.overlayStrokes.front();
    expectPoint(arc.path.pointAtPercent(0), pointOnCircle({ 58, 18 }, 13, 150), 1e-3);
    expectPoint(arc.path.pointAtPercent(1), pointOnCircle({ 58, 18 }, 13, 405), 1e-3);
    expectPoint(arc.path.pointAtPercent(0.5), pointOnCircle({ 58, 18 }, 13, 277.5), 0.1);
    EXPECT_NEAR(arc.path.boundingRect().top(), 5, 0.05);
    EXPECT_LT(arc.path.boundingRect().bottom(), 27.5);
    EXPECT_EQ(arc.cap, Qt::FlatCap);
    EXPECT_EQ(arc.dashes, (QList<qreal> { 2, 2 }));

    for (double t : { 0.0, 0.3, 0.5, 1.0 }) {
        SCOPED_TRACE(t);
        const CameraMotionFrame f = cameraMotionFrame(orbit, t);
        ASSERT_EQ(f.overlayFills.size(), 1u);
        expectPoint(f.overlayFills.front().boundingRect().center(),
            pointOnCircle({ 58, 18 }, 13, 150 + 255 * easedProgress(t)), 1e-6);
        EXPECT_NEAR(f.overlayFills.front().boundingRect().width(), 5, 1e-6);
    }
}

TEST(CameraMotionOverlay, EveryCueHasAnOverlayInsideTheSurfaceThatTheCameraNeverMoves)
{
    // A level tick has no height, which QRectF::contains would reject; compare the edges instead.
    const auto inside = [](const QRectF& r) {
        return r.left() >= 0 && r.top() >= 0 && r.right() <= diagramSize.width() && r.bottom() <= diagramSize.height();
    };
    for (const Motion& m : vocabulary::motions()) {
        SCOPED_TRACE(m.key.toStdString());
        const CameraMotionSpec motionSpec = cameraMotionSpec(m.key);
        const CameraMotionFrame first = cameraMotionFrame(motionSpec, 0);
        const CameraMotionFrame last = cameraMotionFrame(motionSpec, 1);
        ASSERT_FALSE(first.overlayStrokes.empty());
        ASSERT_EQ(first.overlayStrokes.size(), last.overlayStrokes.size());
        for (std::size_t i = 0; i < first.overlayStrokes.size(); ++i) {
            EXPECT_TRUE(inside(first.overlayStrokes[i].path.boundingRect()));
            EXPECT_EQ(first.overlayStrokes[i].path, last.overlayStrokes[i].path);
        }
    }
}

} // namespace
} // namespace quorvel::create
