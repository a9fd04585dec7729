#include "app/shell/preview_view.h"
#include "app/shell/rainbow_animator.h"
#include "support/manual_clock.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>

namespace {

using namespace std::chrono_literals;
using quorvel::app::ColorLayer;
using quorvel::app::RainbowAnimator;

const QList<QColor> kCycle { QColor(97, 187, 70), QColor(253, 184, 39), QColor(245, 130, 31), QColor(224, 58, 62),
    QColor(150, 61, 151), QColor(0, 157, 220) };

TEST(RainbowTitle, ReadsNameVersionAndBuildWithFallbacks)
{
    const struct {
        std::optional<QString> shortVersion, build;
        QString title;
    } rows[] = {
        { "1.2.0", "42", "Quorvel · v1.2.0 (42)" },
        { {}, {}, "Quorvel · v1.0 (0)" },
        { "2.0", {}, "Quorvel · v2.0 (0)" },
        { {}, "7", "Quorvel · v1.0 (7)" },
    };
    for (const auto& row : rows)
        EXPECT_EQ(quorvel::app::rainbowTitle(row.shortVersion, row.build), row.title);
    // The separator is a middle dot, not a full stop or a bullet.
    EXPECT_TRUE(quorvel::app::rainbowTitle({}, {}).contains(QChar(0x00B7)));
}

class RainbowTest : public ::testing::Test {
protected:
    quorvel::testing::ManualClock clock;
    quorvel::testing::ManualSleeper sleeper { clock };
};

TEST_F(RainbowTest, StepsEveryThreeSecondsThroughThePaletteInOrderAndWrapsAround)
{
    EXPECT_EQ(RainbowAnimator::colors(), kCycle);
    ColorLayer layer;
    RainbowAnimator animator(sleeper, "t");
    layer.setBackgroundColor(animator.currentColor());
    animator.setParentLayer(&layer);
    animator.start();
    animator.start(); // a second start must not double the pace

    sleeper.advance(2999ms);
    EXPECT_EQ(layer.backgroundColor(), kCycle[0]) << "nothing before the first interval";
    for (int step = 1; step <= 7; ++step) {
        const QColor before = layer.backgroundColor();
        sleeper.advance(step == 1 ? 1ms : 3000ms);
        const QColor expected = kCycle[step % 6];
        EXPECT_EQ(animator.index(), step % 6);
        EXPECT_EQ(layer.backgroundColor(), expected) << "step " << step;
        const auto fade = layer.animation(RainbowAnimator::animationKey);
        ASSERT_TRUE(fade);
        EXPECT_EQ(fade->keyPath, "backgroundColor");
        EXPECT_EQ(fade->from, before);
        EXPECT_EQ(fade->to, expected);
        EXPECT_EQ(fade->duration, 2000ms);
    }
    EXPECT_EQ(sleeper.pendingCount(), 1u) << "one timer, not one per start";
}

TEST_F(RainbowTest, StoppedStaysWhereItWasAndResumesFromThere)
{
    ColorLayer layer;
    RainbowAnimator animator(sleeper, "t");
    animator.setParentLayer(&layer);
    animator.start();
    sleeper.advance(3000ms);
    sleeper.advance(3000ms);
    EXPECT_EQ(animator.index(), 2);
    animator.stop();
    EXPECT_FALSE(animator.isRunning());
    sleeper.advance(30000ms);
    EXPECT_EQ(animator.index(), 2);
    animator.start();
    sleeper.advance(3000ms);
    EXPECT_EQ(layer.backgroundColor(), kCycle[3]);
}

TEST_F(RainbowTest, AStepAfterTheLayerWentChangesNothing)
{
    auto layer = std::make_unique<ColorLayer>();
    RainbowAnimator animator(sleeper, "t");
    animator.setParentLayer(layer.get());
    animator.start();
    layer.reset();
    sleeper.advance(3000ms);
    EXPECT_EQ(animator.index(), 0);
    EXPECT_EQ(animator.parentLayer(), nullptr);
}

TEST_F(RainbowTest, TitleLineIsCentredWhiteMediumWithItsShadow)
{
    ColorLayer layer;
    layer.setBounds(QRectF(0, 0, 1000, 600));
    RainbowAnimator animator(sleeper, "Quorvel · v1.0 (0)");
    animator.attachTitle(layer, std::nullopt);
    ASSERT_EQ(layer.sublayers().size(), 1);
    const auto* title = layer.sublayers().first();
    EXPECT_EQ(animator.labelLayer(), title);
    EXPECT_EQ(title->text, "Quorvel · v1.0 (0)");
    EXPECT_EQ(title->font.pointSizeF(), 22);
    EXPECT_EQ(title->font.weight(), QFont::Medium);
    EXPECT_EQ(title->foregroundColor, QColor(Qt::white));
    EXPECT_EQ(title->shadowColor, QColor(Qt::black));
    EXPECT_DOUBLE_EQ(title->shadowOpacity, 0.6);
    EXPECT_DOUBLE_EQ(title->shadowRadius, 6);
    EXPECT_DOUBLE_EQ(title->contentsScale, 2.0) << "no main screen";
    EXPECT_EQ(title->frame(), QRectF(180, 284, 640, 32));

    QSignalSpy moved(title, &quorvel::app::TextLayer::frameChanged);
    animator.centerTitle(QRectF(0, 0, 800, 100));
    EXPECT_EQ(title->frame(), QRectF(80, 34, 640, 32));
    ASSERT_EQ(moved.size(), 1);
    EXPECT_FALSE(moved.first().first().toBool()) << "re-centring never slides";

    ColorLayer other;
    animator.attachTitle(other, 1.5);
    EXPECT_DOUBLE_EQ(animator.labelLayer()->contentsScale, 1.5);
}

TEST_F(RainbowTest, PreviewViewRunsOnlyWhileShownAndMakesItsTitleOnce)
{
    quorvel::app::PreviewView view(sleeper, quorvel::app::rainbowTitle({}, {}));
    view.resize(800, 500);
    EXPECT_FALSE(view.animator().isRunning());
    EXPECT_EQ(view.displayedColor(), kCycle[0]);

    view.show();
    EXPECT_TRUE(view.animator().isRunning());
    EXPECT_TRUE(view.layer().isOpaque());
    sleeper.advance(3000ms);
    EXPECT_EQ(view.layer().backgroundColor(), kCycle[1]) << "green to yellow three seconds after showing";

    view.hide();
    EXPECT_FALSE(view.animator().isRunning());
    sleeper.advance(9000ms);
    EXPECT_EQ(view.layer().backgroundColor(), kCycle[1]);

    view.show();
    EXPECT_EQ(view.layer().sublayers().size(), 1) << "the title is not made twice";
    EXPECT_EQ(view.findChildren<QLabel*>().size(), 1);
    sleeper.advance(3000ms);
    EXPECT_EQ(view.layer().backgroundColor(), kCycle[2]);

    view.resize(400, 300);
    const auto* label = view.findChildren<QLabel*>().first();
    EXPECT_EQ(label->geometry(), QRect(-120, 134, 640, 32));
    EXPECT_EQ(label->text(), "Quorvel · v1.0 (0)");
    EXPECT_EQ(label->accessibleName(), "Quorvel · v1.0 (0)");
}

} // namespace
