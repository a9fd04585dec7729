#include "extension/quorvel_configuration_view_controller.h"
#include "extension/quorvel_view.h"
#include "extension/quorvel_view_controller.h"
#include "extension_fixture.h"

#include "support/log_capture.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSlider>
#include <QTest>

namespace quorvel::extension {
namespace {

using testing::FakeMediaPlayer;

// Bright (text) pixels inside `rect` of `image`.
int brightPixels(const QImage& image, const QRect& rect)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += qGray(image.pixel(x, y)) > 200;
    return count;
}

class ViewTest : public ::testing::Test {
protected:
    std::unique_ptr<QuorvelView> makeView(const QRect& frame)
    {
        server.serve("/feed",
            testing::CannedReply { 200, {},
                R"({"videos":[{"url":"https://cdn.example/s/a.mp4","author":"Ada","location":"Oslo",)"
                R"("date":"2025-03-07","title":"<b>Sunrise</b> &amp; fjord"}]})" });
        fixture.environment->serviceBaseUrl = server.url().toString();
        auto view = std::make_unique<QuorvelView>(fixture.environment, std::make_unique<FakeMediaPlayer>(),
            std::make_shared<PreferenceRetentionStorage>(nullptr), frame, false);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !view->playback().playlist().empty(); }, 5000));
        return view;
    }

    testing::LoopbackHttpServer server;
    testing::ExtensionFixture fixture;
    testing::LogCapture log;
};

TEST_F(ViewTest, DrawsTitleAndCaptionAsPlainTextOverBlack)
{
    auto view = makeView(QRect(0, 0, 800, 450));
    EXPECT_EQ(view->titleText(), "<b>Sunrise</b> &amp; fjord") << "remote text is never rich text";
    EXPECT_EQ(view->captionText(), QString("Ada  \u00B7  Oslo  \u00B7  Mar 7, 2025"));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(QRegularExpression("^/feed\\?t=\\d+&user=unknown$").match(server.requests().first().path).hasMatch());

    const QImage image = view->grab().toImage();
    EXPECT_EQ(image.size(), QSize(800, 450));
    EXPECT_EQ(brightPixels(image, QRect(0, 0, 800, 250)), 0) << "no frame yet: black, not blank white";
    EXPECT_EQ(qGray(image.pixel(400, 100)), 0);
    EXPECT_GT(brightPixels(image, view->titleFrame().toRect()), 50);
    EXPECT_GT(brightPixels(image, view->captionFrame().toRect()), 50);
    EXPECT_EQ(brightPixels(image, QRect(0, 0, 30, 450)), 0) << "text starts at the 32-point margin";
}

TEST_F(ViewTest, PausesOnlyForTheWindowItIsIn)
{
    QWidget first, second;
    auto view = makeView(QRect(0, 0, 320, 180));
    view->setParent(&first);
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    platform::MediaPlayer& player = view->playback().player();
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&first, &deactivate);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_FALSE(log.messages().filter("dismissal signal: windowDidResignKey visible=1").isEmpty());

    // Moved to another window: the old one's signals no longer reach this view.
    view->setParent(&second);
    view->show();
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    player.play();
    QCoreApplication::sendEvent(&first, &deactivate);
    first.close();
    EXPECT_TRUE(player.isPlaying());
    second.hide();
    EXPECT_FALSE(player.isPlaying());
    view->setParent(nullptr);
}

// The host shows one window per screen; focus moving among them must not stop a screen for good.
TEST_F(ViewTest, FocusPassingToAnotherWindowOfTheProcessKeepsItPlaying)
{
    QWidget first, second;
    auto view = makeView(QRect(0, 0, 320, 180));
    view->setParent(&first);
    first.show();
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    first.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&first));
    platform::MediaPlayer& player = view->playback().player();
    player.play();

    second.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&second));
    EXPECT_TRUE(player.isPlaying());
    EXPECT_FALSE(log.messages().filter("] focus moved to another window of this process").isEmpty());
    EXPECT_TRUE(log.messages().filter("dismissal signal: windowDidResignKey").isEmpty());

    // Focus leaving the process is a loss of focus.
    first.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&first));
    QApplication::setActiveWindow(nullptr);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_FALSE(log.messages().filter("dismissal signal: windowDidResignKey visible=1").isEmpty());
    view->setParent(nullptr);
}

TEST_F(ViewTest, ControllerFallsBackToAnEmptyViewWithoutAPlayer)
{
    fixture.environment->makePlayer = [] { return std::unique_ptr<platform::MediaPlayer>(); };
    QuorvelViewController controller(fixture.environment);
    QWidget* widget = controller.loadView(QRect(0, 0, 640, 360), true);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(controller.saverView(), nullptr);
    EXPECT_EQ(widget->size(), QSize(640, 360));
    EXPECT_TRUE(log.contains("loadView(forFrame: 640.000000x360.000000, isPreview: 1)"));
    controller.startAnimation(); // nothing to start, nothing to crash
}

TEST_F(ViewTest, SheetStoresVolumeAndReturnActsLikeOK)
{
    QuorvelConfigurationViewController sheet(fixture.preferences);
    int dismissed = 0;
    QWidget* view = sheet.loadView([&] { ++dismissed; });
    EXPECT_EQ(sheet.slider()->value(), 300) << "starts at the stored default of 0.3";
    sheet.slider()->setValue(sheet.slider()->maximum());
    EXPECT_EQ(fixture.sharedSuite()->value("volume"), QVariant(1.0));

    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    view->activateWindow();
    QTest::keyClick(sheet.slider(), Qt::Key_Return);
    EXPECT_EQ(dismissed, 1);
    EXPECT_TRUE(log.contains("completeRequest called"));

    QuorvelViewController controller(fixture.environment); // a player made afterwards takes the new volume
    controller.loadView(QRect(0, 0, 320, 180), false);
    EXPECT_DOUBLE_EQ(controller.saverView()->playback().player().volume(), 1.0);
}

} // namespace
} // namespace quorvel::extension
