#include "app/create/camera_motion_preview.h"

#include "app/create/camera_motion_painter.h"
#include "platform/operating_system.h"
#include "support/manual_clock.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace quorvel::create {
namespace {

using namespace std::chrono_literals;

class FakeOperatingSystem final : public platform::OperatingSystem {
public:
    platform::OperatingSystemVersion version() const override { return { 14, 0, 0 }; }
    bool reduceMotion() const override { return reduce; }
    std::optional<platform::BundleInfo> mainBundle() const override { return std::nullopt; }
    std::optional<platform::BundleInfo> bundle(const QString&) const override { return std::nullopt; }
    bool reduce = false;
};

QImage grab(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    widget.render(&image);
    return image;
}

// Pixels of the diagram area that differ from the plain white the image started as.
int inkedPixels(const QImage& image, QRect area)
{
    int inked = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                ++inked;
    return inked;
}

// Everything but the sun and the direction overlay is grey; count the pixels of the accent's hue.
int accentPixels(const QImage& image, const QColor& accent)
{
    int hits = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.hsvSaturation() > 60 && std::abs(c.hsvHue() - accent.hsvHue()) < 20)
                ++hits;
        }
    return hits;
}

class CameraMotionPreviewTest : public ::testing::Test {
protected:
    testing::ManualClock clock;
    FakeOperatingSystem os;
};

TEST_F(CameraMotionPreviewTest, EveryMoveRendersAnimatedAndStill)
{
    const QRect diagram((CameraMotionPreview::previewWidth - 116) / 2, 0, 116, 34);
    for (bool reduce : { false, true }) {
        os.reduce = reduce;
        for (const Motion& m : vocabulary::motions()) {
            SCOPED_TRACE(m.key.toStdString() + (reduce ? " still" : " animated"));
            CameraMotionPreview preview(clock, os);
            preview.setMotion(m.key);
            preview.resize(preview.sizeHint());
            const QImage image = grab(preview);
            EXPECT_GT(inkedPixels(image, diagram), 116 * 34 / 2);
            EXPECT_GT(accentPixels(image, preview.palette().color(QPalette::Highlight)), 40);
            // The description line under the diagram is drawn too.
            EXPECT_GT(inkedPixels(image, QRect(0, 36, image.width(), image.height() - 36)), 30);
        }
    }
}

TEST_F(CameraMotionPreviewTest, AnimatedFramesFollowTheClockAndLoop)
{
    CameraMotionPreview preview(clock, os);
    preview.setMotion("slow pan"); // 3.2 s cycle
    preview.resize(preview.sizeHint());
    const QImage atStart = grab(preview);
    clock.advance(1600ms);
    EXPECT_NEAR(preview.currentFrame().progress, 0.5, 1e-9);
    const QImage halfWay = grab(preview);
    clock.advance(1600ms);
    const QImage nextCycle = grab(preview);
    EXPECT_NE(atStart, halfWay);
    EXPECT_EQ(atStart, nextCycle);
}

TEST_F(CameraMotionPreviewTest, ReducedMotionDrawsOneStillFrameWithoutATimer)
{
    os.reduce = true;
    CameraMotionPreview preview(clock, os);
    preview.setMotion("drift");
    preview.resize(preview.sizeHint());
    preview.show();
    EXPECT_TRUE(preview.reduceMotion());
    EXPECT_FALSE(preview.isAnimating());
    EXPECT_NEAR(preview.currentFrame().eased, 0.758336, 1e-9);
    const QImage first = grab(preview);
    clock.advance(1234ms);
    EXPECT_EQ(grab(preview), first);
    EXPECT_TRUE(preview.accessibleDescription().endsWith("Static direction diagram"));
    EXPECT_EQ(preview.accessibleName(), "Camera motion preview");
}

TEST_F(CameraMotionPreviewTest, TimerRunsOnlyWhileShownAllowedAndMotionIsWanted)
{
    CameraMotionPreview preview(clock, os);
    EXPECT_FALSE(preview.isAnimating()); // not shown yet
    preview.show();
    EXPECT_TRUE(preview.isAnimating());
    EXPECT_EQ(preview.frameInterval(), 33ms);
    preview.setAnimationAllowed(false);
    EXPECT_FALSE(preview.isAnimating());
    preview.setAnimationAllowed(true);
    EXPECT_TRUE(preview.isAnimating());
    preview.hide();
    EXPECT_FALSE(preview.isAnimating());

    // The desktop setting is read again when the preview comes back.
    os.reduce = true;
    preview.show();
    EXPECT_FALSE(preview.isAnimating());
    EXPECT_TRUE(preview.accessibleDescription().endsWith("Static direction diagram"));
    preview.hide();
    os.reduce = false;
    preview.show();
    EXPECT_TRUE(preview.isAnimating());
    EXPECT_TRUE(preview.accessibleDescription().endsWith("Animated direction diagram"));
}

TEST_F(CameraMotionPreviewTest, UnknownMotionShowsTheDriftDiagramUnderItsOwnKey)
{
    CameraMotionPreview drift(clock, os);
    drift.setMotion("drift");
    CameraMotionPreview unknown(clock, os);
    unknown.setMotion("corkscrew");
    drift.resize(drift.sizeHint());
    unknown.resize(unknown.sizeHint());
    clock.advance(900ms);
    EXPECT_EQ(grab(unknown), grab(drift));
    EXPECT_EQ(unknown.motion(), "corkscrew");
    EXPECT_TRUE(unknown.accessibleDescription().startsWith("corkscrew: Float gently diagonally"));
    EXPECT_EQ(unknown.sizeHint().width(), 178);
}

TEST(CameraMotionPainter, LeavesThePainterAsItFoundIt)
{
    QImage image(116, 34, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QPen pen(Qt::red, 3);
    painter.setPen(pen);
    paintCameraMotionFrame(painter, cameraMotionFrame(cameraMotionSpec("orbit"), 0.4),
        { Qt::black, QColor(0, 0, 0, 128), QColor(0, 100, 255) });
    EXPECT_EQ(painter.pen(), pen);
    EXPECT_FALSE(painter.hasClipping());
}

} // namespace
} // namespace quorvel::create
