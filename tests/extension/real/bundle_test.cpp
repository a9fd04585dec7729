// The built bundle as the host loads it, and its sample clip through the real player, offscreen.
#include "extension/quorvel_playback.h"
#include "extension_bundle_paths.h"
#include "extension_fixture.h"
#include "host/saver_module.h"
#include "platform/linux/media_player_qt.h"

#include "support/log_capture.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPluginLoader>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWidget>

namespace quorvel::extension {
namespace {

TEST(Bundle, LoadsAndPlaysTheSampleClipWithoutAFeed)
{
    // A service that answers with something that is not a feed, and a cache that has never seen one.
    testing::LoopbackHttpServer server;
    server.serve("/feed", testing::CannedReply { 503, {}, "<html>down</html>" });
    qputenv("QUORVEL_SERVICE_URL", server.url().toString().toUtf8());
    testing::LogCapture log;

    QPluginLoader loader(QStringLiteral(QUORVEL_EXTENSION_LIBRARY));
    auto* module = qobject_cast<saver::SaverModule*>(loader.instance());
    ASSERT_NE(module, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(module->interfaceVersion(), saver::SaverModule::kInterfaceVersion);
    {
        auto principal = module->makePrincipal();
        auto controller = principal->makeViewController();
        QWidget* view = controller->loadView(QRect(0, 0, 320, 180), false);
        ASSERT_NE(view, nullptr);
        view->show();
        controller->startAnimation();
        const QString sample
            = QUrl::fromLocalFile(QFileInfo(QUORVEL_EXTENSION_SAMPLE_CLIP).canonicalFilePath()).toString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return log.contains("playing " + sample); }, 10000))
            << log.messages().join('\n').toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !log.messages().filter("item ready").isEmpty(); }, 10000));
        EXPECT_EQ(server.requests().size(), 1);
        controller->stopAnimation();
    }
    EXPECT_TRUE(log.contains("QuorvelExtension.deinit"));
    qunsetenv("QUORVEL_SERVICE_URL");
}

TEST(RealClip, TheBundledSampleClipPlaysToItsEndAndLoops)
{
    testing::ExtensionFixture fixture;
    fixture.environment->sampleClipURL = QUrl::fromLocalFile(QUORVEL_EXTENSION_SAMPLE_CLIP);
    testing::LogCapture log;
    QuorvelPlayback playback(fixture.environment, std::make_unique<platform::QtMediaPlayer>(), false,
        std::make_shared<PreferenceRetentionStorage>(nullptr));
    QVideoSink sink;
    int frames = 0;
    QObject::connect(
        &sink, &QVideoSink::videoFrameChanged, &sink, [&](const QVideoFrame& f) { frames += f.isValid(); });
    playback.player().setVideoSink(&sink);
    playback.setPlaylist({ makeFallbackVideo(fixture.environment->sampleClipURL) });

    // Its own end of item starts the clip again (a one-clip playlist loops).
    EXPECT_TRUE(QTest::qWaitFor([&] { return playback.index() >= 2; }, 30000));
    EXPECT_GT(frames, 10);
    EXPECT_EQ(playback.consecutiveFailures(), 0);
    EXPECT_FALSE(log.messages().filter(QRegularExpression("^item ready, duration=4\\.\\d+s")).isEmpty())
        << log.messages().join('\n').toStdString();
    playback.player().setVideoSink(nullptr);
}

} // namespace
} // namespace quorvel::extension
