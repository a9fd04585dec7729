#include "extension/quorvel_playback.h"
#include "extension_fixture.h"

#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace quorvel::extension {
namespace {

using namespace std::chrono_literals;
using testing::FakeMediaPlayer;

Video remote(const QString& name, std::optional<QString> title = std::nullopt)
{
    return Video { QUrl("https://cdn.example/s/" + name), QString("A"), std::nullopt, QString("2025-03-07"), title };
}

class PlaybackTest : public ::testing::Test {
protected:
    std::unique_ptr<QuorvelPlayback> makePlayback(bool isPreview = false)
    {
        auto player = std::make_unique<FakeMediaPlayer>();
        players.push_back(player.get());
        return std::make_unique<QuorvelPlayback>(fixture.environment, std::move(player), isPreview, retention);
    }
    void writeCacheFile(const Video& video, const QByteArray& bytes)
    {
        QDir().mkpath(fixture.environment->cacheDirectory);
        QFile file(QDir(fixture.environment->cacheDirectory).filePath(cacheFileName(video.url)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    testing::ExtensionFixture fixture;
    std::shared_ptr<testing::MemoryPreferenceSuite> standard = fixture.preferences->entry("standard");
    std::shared_ptr<PreferenceRetentionStorage> retention = std::make_shared<PreferenceRetentionStorage>(standard);
    std::vector<FakeMediaPlayer*> players;
    testing::LogCapture log;
};

TEST_F(PlaybackTest, LoopsThroughThePlaylistInOrder)
{
    auto playback = makePlayback();
    playback->setPlaylist({ remote("0.mp4"), remote("1.mp4"), remote("2.mp4") });
    for (int i = 0; i < 4; ++i)
        players[0]->finish();
    QStringList played;
    for (const QUrl& url : players[0]->items)
        played << url.fileName();
    EXPECT_EQ(played, (QStringList { "0.mp4", "1.mp4", "2.mp4", "0.mp4", "1.mp4" }));
    EXPECT_EQ(playback->index(), 5);
    EXPECT_TRUE(players[0]->isPlaying());
    EXPECT_TRUE(log.contains("playing https://cdn.example/s/0.mp4"));
}

TEST_F(PlaybackTest, TitleAndCaptionFollowTheClip)
{
    auto playback = makePlayback();
    playback->setPlaylist(
        { remote("0.mp4", QString("Dawn")), remote("1.mp4", QString("")), remote("2.mp4", QString("Dusk")) });
    EXPECT_EQ(playback->title(), "Dawn");
    EXPECT_TRUE(playback->titleVisible());
    EXPECT_EQ(playback->caption(), QString("A  \u00B7  Mar 7, 2025"));
    players[0]->finish();
    EXPECT_FALSE(playback->titleVisible()) << "an empty title hides the line";
    players[0]->finish();
    EXPECT_TRUE(playback->titleVisible());
    EXPECT_EQ(playback->title(), "Dusk");
}

TEST_F(PlaybackTest, OneViewsClipEndingDoesNotAdvanceAnother)
{
    auto left = makePlayback();
    auto right = makePlayback();
    left->setPlaylist({ remote("0.mp4"), remote("1.mp4") });
    right->setPlaylist({ remote("0.mp4"), remote("1.mp4") });
    players[0]->finish();
    EXPECT_EQ(left->index(), 2);
    EXPECT_EQ(right->index(), 1);
    EXPECT_EQ(players[1]->items.size(), 1);
}

TEST_F(PlaybackTest, ThreeFailuresInARowBackOffThirtySeconds)
{
    auto playback = makePlayback();
    playback->setPlaylist({ remote("0.mp4"), remote("1.mp4"), remote("2.mp4"), remote("3.mp4") });

    // Two failures and a success: no pause.
    players[0]->fail("decode error");
    players[0]->fail("decode error");
    EXPECT_EQ(playback->consecutiveFailures(), 2);
    players[0]->becomeReady();
    EXPECT_EQ(playback->consecutiveFailures(), 0);
    EXPECT_EQ(fixture.sleeper->pendingCount(), 0u);
    EXPECT_TRUE(log.contains("item FAILED: decode error"));

    // Three in a row: one 30-second pause with nothing new started.
    players[0]->fail("");
    players[0]->fail("x");
    players[0]->fail("x");
    EXPECT_TRUE(log.contains("item FAILED: ?"));
    EXPECT_TRUE(log.contains("3 consecutive failures; retrying in 30s"));
    EXPECT_EQ(fixture.sleeper->pendingCount(), 1u);
    const qsizetype startedBefore = players[0]->items.size();
    fixture.sleeper->advance(29s);
    EXPECT_EQ(players[0]->items.size(), startedBefore);
    fixture.sleeper->advance(1s);
    EXPECT_EQ(players[0]->items.size(), startedBefore + 1);
    EXPECT_EQ(playback->consecutiveFailures(), 0);
}

TEST_F(PlaybackTest, ThePendingRetryDiesWithTheView)
{
    auto playback = makePlayback();
    playback->setPlaylist({ remote("0.mp4") });
    for (int i = 0; i < 3; ++i)
        players[0]->fail("x");
    playback.reset();
    fixture.sleeper->advance(30s); // must not touch the destroyed view
    SUCCEED();
}

TEST_F(PlaybackTest, AFailedCachedClipIsRemovedButFeedFilesNeverAre)
{
    const Video cachedClip = remote("0.mp4");
    writeCacheFile(cachedClip, "not really a video");
    // A feed entry pointing straight at a local file outside the cache.
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("precious.mp4");
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    const Video localEntry { QUrl::fromLocalFile(victim), {}, {}, {}, {} };

    auto playback = makePlayback();
    playback->setPlaylist({ cachedClip, localEntry, remote("2.mp4") });
    const QString cachePath = QDir(fixture.environment->cacheDirectory).filePath(cacheFileName(cachedClip.url));
    EXPECT_EQ(players[0]->currentSource(), QUrl::fromLocalFile(cachePath)) << "cached clips play from disk";
    players[0]->fail("corrupt");
    EXPECT_FALSE(QFile::exists(cachePath));

    // The local entry failed without reaching the player, and its file is untouched.
    EXPECT_TRUE(QFile::exists(victim));
    EXPECT_EQ(playback->consecutiveFailures(), 2);
    EXPECT_EQ(players[0]->currentSource(), remote("2.mp4").url);
    for (const QUrl& url : players[0]->items)
        EXPECT_FALSE(url == QUrl::fromLocalFile(victim));
}

TEST_F(PlaybackTest, TheBuiltInClipPlaysFromDisk)
{
    auto playback = makePlayback();
    playback->setPlaylist({ makeFallbackVideo(fixture.environment->sampleClipURL) });
    EXPECT_EQ(players[0]->currentSource(), fixture.environment->sampleClipURL);
    EXPECT_EQ(playback->caption(), "Quorvel");
    EXPECT_FALSE(playback->titleVisible());
}

TEST_F(PlaybackTest, VolumeRules)
{
    struct Case {
        const char* name;
        QVariant stored;
        bool preview;
        bool settingsOpen;
        double atCreation;
        double inWindow;
    } cases[] = {
        { "nothing stored plays at 0.3", {}, false, false, 0.3, 0.3 },
        { "stored volume", 0.8, false, false, 0.8, 0.8 },
        { "not a number", QString("loud"), false, false, 0.3, 0.3 },
        { "preview starts muted, then takes the stored volume", 0.8, true, false, 0.0, 0.8 },
        { "preview stays muted while settings run", 0.8, true, true, 0.0, 0.0 },
        { "full-screen muted in a window while settings run", 1.0, false, true, 1.0, 0.0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixture.sharedSuite()->values.clear();
        if (c.stored.isValid())
            fixture.sharedSuite()->setValue("volume", c.stored);
        fixture.workspace->openSettings(c.settingsOpen);
        players.clear();
        auto playback = makePlayback(c.preview);
        EXPECT_DOUBLE_EQ(players[0]->volume(), c.atCreation);
        playback->windowChanged(true);
        EXPECT_DOUBLE_EQ(players[0]->volume(), c.inWindow);
    }
    EXPECT_FALSE(log.messages().filter("] settingsOpen=1 -> volume=0.000000").isEmpty());
}

TEST_F(PlaybackTest, VolumeFallsBackToTheStandardSuiteWithoutTheGroup)
{
    fixture.preferences->unavailableSuites << "group.com.quorvel.shared";
    standard->setValue("volume", 0.6);
    makePlayback();
    EXPECT_DOUBLE_EQ(players[0]->volume(), 0.6);
}

TEST_F(PlaybackTest, DismissalSignalsPauseUnlessTheWindowStaysVisible)
{
    struct Case {
        DismissalSignal signal;
        bool visible;
        bool keepsPlaying;
    } cases[] = {
        { DismissalSignal::WindowDidChangeOcclusionState, true, true },
        { DismissalSignal::WindowDidChangeOcclusionState, false, false },
        { DismissalSignal::WindowWillClose, true, false },
        { DismissalSignal::WindowDidResignKey, true, false },
    };
    auto playback = makePlayback();
    playback->setPlaylist({ remote("0.mp4") });
    for (const Case& c : cases) {
        players[0]->play();
        playback->dismissalSignal(c.signal, c.visible);
        EXPECT_EQ(players[0]->isPlaying(), c.keepsPlaying);
    }
    EXPECT_TRUE(
        log.contains("[" + playback->instanceID() + "] dismissal signal: windowDidChangeOcclusionState visible=0"));
    playback->windowChanged(false);
    EXPECT_FALSE(players[0]->isPlaying());
}

TEST_F(PlaybackTest, SessionsOpenOnlyForFullScreenViewsWithoutSettings)
{
    auto readSessions = [&] {
        const RetentionRecord record = RetentionRecord::decode(retention->read());
        return record.days.empty() ? 0 : record.days.begin()->second.sessions;
    };
    auto preview = makePlayback(true);
    preview->startAnimation();
    preview->stopAnimation();
    EXPECT_EQ(readSessions(), 0);

    fixture.workspace->openSettings(true);
    auto underSettings = makePlayback();
    underSettings->startAnimation();
    underSettings->stopAnimation();
    EXPECT_EQ(readSessions(), 0);

    fixture.workspace->openSettings(false);
    auto left = makePlayback();
    auto right = makePlayback();
    left->setPlaylist({ remote("0.mp4") });
    left->startAnimation();
    right->startAnimation();
    EXPECT_TRUE(players.back() != players[2]);
    EXPECT_TRUE(players[2]->isPlaying());
    fixture.clock->advance(10s);
    left->stopAnimation();
    EXPECT_FALSE(players[2]->isPlaying());
    right.reset(); // destruction closes the session too
    EXPECT_EQ(readSessions(), 2);
    EXPECT_TRUE(log.contains("stopAnimation()"));
}

} // namespace
} // namespace quorvel::extension
