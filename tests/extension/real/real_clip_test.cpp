// Plays the sample clip that the build puts into the bundle through the real player, offscreen.
#include "extension/quorvel_playback.h"
#include "extension_bundle_paths.h"
#include "extension_fixture.h"
#include "platform/linux/media_player_qt.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>

namespace quorvel::extension {
namespace {

TEST(RealClip, TheBundledSampleClipPlaysToItsEndAndLoops)
{
    ASSERT_TRUE(QFileInfo(QUORVEL_EXTENSION_SAMPLE_CLIP).size() > 0);
    testing::ExtensionFixture fixture;
    fixture.environment->sampleClipURL = QUrl::fromLocalFile(QUORVEL_EXTENSION_SAMPLE_CLIP);
    testing::LogCapture log;

    QuorvelPlayback playback(fixture.environment, std::make_unique<platform::QtMediaPlayer>(), false,
        std::make_shared<PreferenceRetentionStorage>(nullptr));
    QVideoSink sink;
    int frames = 0;
    QObject::connect(&sink, &QVideoSink::videoFrameChanged, &sink, [&](const QVideoFrame& frame) {
        if (frame.isValid())
            ++frames;
    });
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
