#include "extension/quorvel_configuration_view_controller.h"
#include "extension/quorvel_extension.h"
#include "extension/quorvel_view.h"
#include "extension/quorvel_view_controller.h"
#include "extension_fixture.h"

#include "support/log_capture.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSlider>
#include <QTest>

namespace quorvel::extension {
namespace {

using testing::FakeMediaPlayer;

FakeMediaPlayer& fakePlayer(QuorvelView& view)
{
    return static_cast<FakeMediaPlayer&>(view.playback().player());
}

// Bright pixels (text) inside `rect` of `image`.
int brightPixels(const QImage& image, const QRect& rect)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (qGray(image.pixel(x, y)) > 200)
                ++count;
    return count;
}

class ViewTest : public ::testing::Test {
protected:
    ViewTest()
    {
        server.serve("/feed",
            testing::CannedReply { 200, {},
                R"({"videos":[{"url":"https://cdn.example/s/a.mp4","author":"Ada","location":"Oslo",)"
                R"("date":"2025-03-07","title":"<b>Sunrise</b> &amp; fjord"}]})" });
        fixture.environment->serviceBaseUrl = server.url().toString();
    }
    std::unique_ptr<QuorvelView> makeView(const QRect& frame, bool isPreview)
    {
        auto view = std::make_unique<QuorvelView>(fixture.environment, std::make_unique<FakeMediaPlayer>(),
            std::make_shared<PreferenceRetentionStorage>(nullptr), frame, isPreview);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !view->playback().playlist().empty(); }, 5000));
        return view;
    }

    testing::LoopbackHttpServer server;
    testing::ExtensionFixture fixture;
    testing::LogCapture log;
};

TEST_F(ViewTest, DrawsTitleAndCaptionAsPlainTextOverBlack)
{
    auto view = makeView(QRect(0, 0, 800, 450), false);
    EXPECT_EQ(view->titleText(), "<b>Sunrise</b> &amp; fjord") << "remote text is never rich text";
    EXPECT_EQ(view->captionText(), QString("Ada  \u00B7  Oslo  \u00B7  Mar 7, 2025"));
    EXPECT_TRUE(view->isTitleShown());
    ASSERT_EQ(server.requests().size(), 1);
    const QString target = server.requests().first().path;
    EXPECT_TRUE(target.startsWith("/feed?t=")) << target.toStdString();
    EXPECT_TRUE(target.endsWith("&user=unknown"));

    const QImage image = view->grab().toImage();
    image.save(QDir::temp().filePath("quorvel-view.png"));
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
    auto view = makeView(QRect(0, 0, 320, 180), false);
    view->setParent(&first);
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    FakeMediaPlayer& player = fakePlayer(*view);

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
    EXPECT_FALSE(log.messages().filter("viewDidMoveToWindow hasWindow=1").isEmpty());
    view->setParent(nullptr);
}

TEST_F(ViewTest, ControllerMakesMutedPreviewOfTheRequestedFrame)
{
    QuorvelViewController controller(fixture.environment);
    QWidget* widget = controller.loadView(QRect(0, 0, 300, 200), true);
    ASSERT_NE(controller.saverView(), nullptr);
    EXPECT_EQ(widget, controller.view());
    EXPECT_EQ(widget->size(), QSize(300, 200));
    EXPECT_DOUBLE_EQ(controller.saverView()->playback().player().volume(), 0.0);
    EXPECT_TRUE(controller.saverView()->playback().isPreview());
    EXPECT_TRUE(log.contains("init(nibName:bundle:)"));
    EXPECT_TRUE(log.contains("loadView(forFrame: 300.000000x200.000000, isPreview: 1)"));
}

TEST_F(ViewTest, ControllerFallsBackToAnEmptyViewWithoutAPlayer)
{
    fixture.environment->makePlayer = [] { return std::unique_ptr<platform::MediaPlayer>(); };
    QuorvelViewController controller(fixture.environment);
    QWidget* widget = controller.loadView(QRect(0, 0, 640, 360), false);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(controller.saverView(), nullptr);
    EXPECT_EQ(widget->size(), QSize(640, 360));
    controller.startAnimation(); // nothing to start, nothing to crash
}

TEST_F(ViewTest, SheetStoresVolumeAndReturnActsLikeOK)
{
    QuorvelConfigurationViewController sheet(fixture.preferences);
    int dismissed = 0;
    QWidget* view = sheet.loadView([&] { ++dismissed; });
    EXPECT_EQ(view->size(), QSize(300, 140));
    EXPECT_EQ(sheet.slider()->value(), 300) << "starts at the stored default of 0.3";

    sheet.slider()->setValue(sheet.slider()->maximum());
    EXPECT_EQ(fixture.sharedSuite()->value("volume"), QVariant(1.0));

    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    view->activateWindow();
    QTest::keyClick(sheet.slider(), Qt::Key_Return);
    EXPECT_EQ(dismissed, 1);
    EXPECT_TRUE(log.contains("dismissSheet, sheetParent=0 extCtx=1"));
    EXPECT_TRUE(log.contains("completeRequest called"));

    // A player made afterwards plays at the new volume.
    QuorvelViewController controller(fixture.environment);
    controller.loadView(QRect(0, 0, 320, 180), false);
    EXPECT_DOUBLE_EQ(controller.saverView()->playback().player().volume(), 1.0);
}

TEST_F(ViewTest, PrincipalLogsItsLifeAndHandsOutControllers)
{
    {
        QuorvelExtension principal(fixture.environment);
        EXPECT_NE(principal.makeViewController(), nullptr);
        EXPECT_NE(principal.makeConfigurationController(), nullptr);
    }
    EXPECT_TRUE(log.contains(QStringLiteral("QuorvelExtension.init() PID=%1").arg(QCoreApplication::applicationPid())));
    EXPECT_TRUE(log.contains("QuorvelExtension.deinit"));
    EXPECT_EQ(sampleClipURLForLibrary("/b/X.appex/Contents/MacOS/libQuorvelExtension.so"),
        QUrl::fromLocalFile("/b/X.appex/Contents/Resources/QuorvelSample.mp4"));
}

} // namespace
} // namespace quorvel::extension
