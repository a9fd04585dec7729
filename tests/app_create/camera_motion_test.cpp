#include "app/create/camera_motion_painter.h"
#include "app/create/camera_motion_preview.h"
#include "support/fake_platform.h"
#include "support/manual_clock.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QtMath>

namespace quorvel::create {
namespace {

using namespace std::chrono_literals;

constexpr double eps = 1e-9;

void expectPoint(QPointF actual, QPointF expected, double tolerance = 1e-6)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
}

// Walks a timeline frame by frame, as the widget's timer would, across several cycles.
TEST(CameraMotionTiming, EveryCycleLastsItsDurationRestartsAtZeroAndEasesBothEnds)
{
    const CameraMotionSpec pan = cameraMotionSpec("slow pan"); // 3.2 s
    EXPECT_NEAR(cycleProgress(pan, 800ms), 0.25, eps);
    EXPECT_NEAR(cycleProgress(pan, 3200s + 800ms), 0.25, 1e-6); // long-running clocks keep the phase
    int wraps = 0;
    double previous = 0;
    for (auto time = 0ms; time <= 9600ms; time += diagramFrameInterval) {
        const double t = cycleProgress(pan, time);
        ASSERT_TRUE(t >= 0 && t < 1) << t;
        wraps += t < previous;
        previous = t;
    }
    EXPECT_EQ(wraps, 2); // 9.6 s of frames are three cycles of 3.2 s, restarting twice
    for (auto [t, eased] : { std::pair { 0.0, 0.0 }, { 0.25, 0.15625 }, { 0.5, 0.5 }, { 1.0, 1.0 } })
        EXPECT_NEAR(easedProgress(t), eased, eps) << t;
}

// Scene points scale about the centre (58, 17), then shift; behind a parallax sway the far
// layers (horizon, sun) drift against the foreground.
TEST(CameraMotionGeometry, ScenePointsScaleAboutTheCentreThenShift)
{
    const struct {
        const char* motion;
        double t, scale, dx, dy, horizonDx, sunDx;
    } cases[] = {
        { "push-in", 1, 1.34, 0, 0, 0, 0 }, { "pull back", 0, 1.34, 0, 0, 0, 0 }, { "pull back", 1, 0.88, 0, 0, 0, 0 },
        { "slow pan", 0.5, 1, -7, 0, -7, -7 }, { "aerial glide", 1, 1.16, -9, 4, -9, -9 },
        { "parallax sway", 1, 1, 10, 0, -3.5, 2 }, { "orbit", 0.7, 1, 0, 0, 0, 0 },
        { "tilt up", 1, 1, 0, 10, 0, 0 }, // tilting up moves the scene down
        { "tilt down", 1, 1, 0, -10, 0, 0 }, { "dolly zoom", 1, 1, -8, 5, -8, -8 }, // an unknown key moves like drift
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.motion) + " at " + std::to_string(c.t));
        const CameraMotionFrame f = cameraMotionFrame(cameraMotionSpec(QString::fromUtf8(c.motion)), c.t);
        const auto at = [&](double x, double y, double dx) {
            return QPointF(58 + (x - 58) * c.scale + dx, 17 + (y - 17) * c.scale + c.dy);
        };
        EXPECT_NEAR(f.scale, c.scale, eps);
        EXPECT_NEAR(f.dx, c.dx, eps);
        EXPECT_NEAR(f.dy, c.dy, eps);
        expectPoint(f.horizon.p1(), at(-8, 22, c.horizonDx));
        expectPoint(f.sunCentre, at(58, 18, c.sunDx));
        expectPoint(f.foreground.elementAt(0), at(-8, 30, c.dx));
        EXPECT_NEAR(f.sunDiameter, 7 * c.scale, eps);
    }
}

TEST(CameraMotionOverlay, ArrowHeadsPointBackwardsFromTheTip)
{
    // A level arrow to the right: both strokes end 4 points back, 36 degrees above and below.
    const QPainterPath head = arrowHead({ 18, 27 }, { 98, 27 });
    ASSERT_EQ(head.elementCount(), 4);
    const double back = 4 * std::cos(qDegreesToRadians(36.0)), side = 4 * std::sin(qDegreesToRadians(36.0));
    expectPoint(head.elementAt(1), { 98 - back, 27 - side });
    expectPoint(head.elementAt(3), { 98 - back, 27 + side });
}

// Angles turn clockwise on screen, so the orbit arc runs from 150 degrees over the top of the sun
// to 405 (its gap at the bottom); the marker travels along it with the eased progress.
TEST(CameraMotionOverlay, OrbitArcRunsOverTheTopAndItsMarkerTravelsAlongIt)
{
    const CameraMotionSpec orbit = cameraMotionSpec("orbit");
    const OverlayStroke arc = cameraMotionFrame(orbit, 0).overlayStrokes.at(0);
    expectPoint(arc.path.pointAtPercent(0), pointOnCircle({ 58, 18 }, 13, 150), 1e-3);
    expectPoint(arc.path.pointAtPercent(1), pointOnCircle({ 58, 18 }, 13, 405), 1e-3);
    EXPECT_NEAR(arc.path.boundingRect().top(), 5, 0.05);
    for (double t : { 0.0, 0.3, 1.0 })
        expectPoint(cameraMotionFrame(orbit, t).overlayFills.at(0).boundingRect().center(),
            pointOnCircle({ 58, 18 }, 13, 150 + 255 * easedProgress(t)));
}

TEST(CameraMotionOverlay, EveryCueHasAnOverlayInsideTheSurfaceThatTheCameraNeverMoves)
{
    for (const Motion& m : vocabulary::motions()) {
        SCOPED_TRACE(m.key.toStdString());
        const CameraMotionSpec motionSpec = cameraMotionSpec(m.key);
        const CameraMotionFrame first = cameraMotionFrame(motionSpec, 0), last = cameraMotionFrame(motionSpec, 1);
        ASSERT_FALSE(first.overlayStrokes.empty());
        ASSERT_EQ(first.overlayStrokes.size(), last.overlayStrokes.size());
        for (std::size_t i = 0; i < first.overlayStrokes.size(); ++i) {
            const QRectF r = first.overlayStrokes[i].path.boundingRect();
            EXPECT_TRUE(r.left() >= 0 && r.top() >= 0 && r.right() <= 116 && r.bottom() <= 34);
            EXPECT_EQ(first.overlayStrokes[i].path, last.overlayStrokes[i].path);
        }
    }
}

using quorvel::testing::FakeDesktopAppearance;

QImage grab(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    widget.render(&image);
    return image;
}

// Pixels in `area` that differ from white or, given an accent, share its hue (all but the sun
// and the direction overlay is grey).
int countPixels(const QImage& image, QRect area, const QColor* accent = nullptr)
{
    int hits = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            hits += accent ? c.hsvSaturation() > 60 && std::abs(c.hsvHue() - accent->hsvHue()) < 20
                           : c != QColor(Qt::white);
        }
    return hits;
}

struct CameraMotionPreviewTest : ::testing::Test {
    std::unique_ptr<CameraMotionPreview> preview(const QString& motion)
    {
        auto widget = std::make_unique<CameraMotionPreview>(clock, desktop);
        widget->setMotion(motion);
        widget->resize(widget->sizeHint());
        return widget;
    }
    testing::ManualClock clock;
    FakeDesktopAppearance desktop;
};

// Reduced motion, read when the widget is made, draws the still frame (progress 0.68).
TEST_F(CameraMotionPreviewTest, EveryMoveRendersAnimatedAndStill)
{
    for (bool reduce : { false, true }) {
        desktop.reduce = reduce;
        for (const Motion& m : vocabulary::motions()) {
            SCOPED_TRACE(m.key.toStdString() + (reduce ? " still" : " animated"));
            const auto widget = preview(m.key);
            EXPECT_NEAR(widget->currentFrame().progress, reduce ? 0.68 : 0, eps);
            const QImage image = grab(*widget);
            EXPECT_GT(countPixels(image, QRect((178 - 116) / 2, 0, 116, 34)), 116 * 34 / 2);
            EXPECT_GT(countPixels(image, image.rect(), &widget->palette().color(QPalette::Highlight)), 40);
            // The description line under the diagram is drawn too.
            EXPECT_GT(countPixels(image, QRect(0, 36, image.width(), image.height() - 36)), 30);
        }
    }
}

TEST_F(CameraMotionPreviewTest, TimerRunsOnlyWhileShownAllowedAndMotionIsWanted)
{
    const auto widget = preview("slow pan"); // 3.2 s cycle
    EXPECT_FALSE(widget->isAnimating()); // not shown yet
    widget->show();
    EXPECT_TRUE(widget->isAnimating());
    EXPECT_EQ(widget->frameInterval(), 33ms);
    widget->setAnimationAllowed(false);
    EXPECT_FALSE(widget->isAnimating());
    widget->setAnimationAllowed(true);
    EXPECT_TRUE(widget->isAnimating());
    widget->hide();
    EXPECT_FALSE(widget->isAnimating());
    // A change of the desktop's setting applies at once, while shown; the animated frame follows
    // the clock round the loop, the still frame ignores it.
    widget->show();
    for (bool reduce : { true, false }) {
        SCOPED_TRACE(reduce);
        desktop.setReduceMotion(reduce);
        EXPECT_EQ(widget->isAnimating(), !reduce);
        EXPECT_TRUE(widget->accessibleDescription().endsWith(
            reduce ? "Static direction diagram" : "Animated direction diagram"));
        const QImage before = grab(*widget);
        clock.advance(1600ms);
        EXPECT_EQ(grab(*widget) == before, reduce);
        clock.advance(1600ms);
        EXPECT_EQ(grab(*widget), before);
    }
    widget->hide();
    desktop.setReduceMotion(true);
    desktop.setReduceMotion(false);
    EXPECT_FALSE(widget->isAnimating()) << "a hidden preview never starts its timer";
}

TEST_F(CameraMotionPreviewTest, UnknownMotionShowsTheDriftDiagramUnderItsOwnKey)
{
    const auto drift = preview("drift"), unknown = preview("corkscrew");
    clock.advance(900ms);
    EXPECT_EQ(grab(*unknown), grab(*drift));
    EXPECT_EQ(unknown->accessibleName(), "Camera motion preview");
    EXPECT_TRUE(unknown->accessibleDescription().startsWith("corkscrew: Float gently diagonally"));
}

} // namespace
} // namespace quorvel::create
