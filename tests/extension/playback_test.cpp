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
    int sessions() const
    {
        const RetentionRecord record = RetentionRecord::decode(retention->read());
        return record.days.empty() ? 0 : record.days.begin()->second.sessions;
    }

    testing::ExtensionFixture fixture;
    std::shared_ptr<testing::MemoryPreferenceSuite> standard = fixture.preferences->entry("standard");
    std::shared_ptr<PreferenceRetentionStorage> retention = std::make_shared<PreferenceRetentionStorage>(standard);
    std::vector<FakeMediaPlayer*> players;
    testing::LogCapture log;
};

TEST_F(PlaybackTest, LoopsInOrderWithTitleAndCaptionFollowingTheClip)
{
    auto playback = makePlayback();
    playback->setPlaylist({ remote("0.mp4", "Dawn"), remote("1.mp4", ""), remote("2.mp4", "Dusk") });
    EXPECT_EQ(playback->title(), "Dawn");
    EXPECT_TRUE(playback->titleVisible());
    EXPECT_EQ(playback->caption(), QString("A  \u00B7  Mar 7, 2025"));
    players[0]->finish();
    EXPECT_FALSE(playback->titleVisible()) << "an empty title hides the line";
    players[0]->finish();
    EXPECT_EQ(playback->title(), "Dusk");
    for (int i = 0; i < 2; ++i)
        players[0]->finish();
    QStringList played;
    for (const QUrl& url : players[0]->items)
        played << url.fileName();
    EXPECT_EQ(played, (QStringList { "0.mp4", "1.mp4", "2.mp4", "0.mp4", "1.mp4" }));
    EXPECT_TRUE(players[0]->isPlaying());
    EXPECT_TRUE(log.contains("playing https://cdn.example/s/0.mp4"));
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
}

TEST_F(PlaybackTest, FailuresRemoveOnlyTheirOwnCacheFileAndThreeInARowBackOff)
{
    const Video cached = remote("0.mp4");
    const QString cachePath = QDir(fixture.environment->cacheDirectory).filePath(cacheFileName(cached.url));
    QDir().mkpath(fixture.environment->cacheDirectory);
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("precious.mp4");
    for (const QString& path : { cachePath, victim }) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("bytes");
    }
    auto playback = makePlayback();
    playback->setPlaylist({ cached, Video { QUrl::fromLocalFile(victim), {}, {}, {}, {} }, remote("2.mp4"),
        remote("3.mp4"), remote("4.mp4") });
    EXPECT_EQ(players[0]->currentSource(), QUrl::fromLocalFile(cachePath)) << "cached clips play from disk";
    players[0]->fail("decode error");
    EXPECT_TRUE(log.contains("item FAILED: decode error"));
    EXPECT_FALSE(QFile::exists(cachePath));
    // The feed's local entry fails without reaching the player, and its file is untouched.
    EXPECT_TRUE(QFile::exists(victim));
    EXPECT_EQ(playback->consecutiveFailures(), 2);
    EXPECT_EQ(players[0]->items, (QList<QUrl> { QUrl::fromLocalFile(cachePath), remote("2.mp4").url }));
    players[0]->becomeReady(); // a success in between resets the count
    EXPECT_EQ(playback->consecutiveFailures(), 0);
    EXPECT_EQ(fixture.sleeper->pendingCount(), 0u);

    players[0]->fail("");
    players[0]->fail("x");
    players[0]->fail("x");
    EXPECT_TRUE(log.contains("item FAILED: ?"));
    EXPECT_TRUE(log.contains("3 consecutive failures; retrying in 30s"));
    EXPECT_EQ(fixture.sleeper->pendingCount(), 1u);
    const qsizetype started = players[0]->items.size();
    fixture.sleeper->advance(29s);
    EXPECT_EQ(players[0]->items.size(), started);
    fixture.sleeper->advance(1s);
    EXPECT_EQ(players[0]->items.size(), started + 1);
    EXPECT_EQ(players[0]->currentSource(), cached.url) << "a removed cache file streams again";
    EXPECT_EQ(playback->consecutiveFailures(), 0);

    // A retry pending when the view goes away must not touch it.
    players[0]->fail("x");
    players[0]->fail("x");
    EXPECT_EQ(fixture.sleeper->pendingCount(), 1u);
    playback.reset();
    fixture.sleeper->advance(30s);
}

TEST_F(PlaybackTest, VolumeRules)
{
    const struct {
        const char* name;
        QVariant stored;
        bool preview, settingsOpen, groupMissing;
        double atCreation, inWindow;
    } cases[] = {
        { "nothing stored plays at 0.3", {}, false, false, false, 0.3, 0.3 },
        { "not a number", QString("loud"), false, false, false, 0.3, 0.3 },
        { "standard suite without the group", 0.6, false, false, true, 0.6, 0.6 },
        { "preview starts muted, then takes the stored volume", 0.8, true, false, false, 0.0, 0.8 },
        { "preview stays muted while settings run", 0.8, true, true, false, 0.0, 0.0 },
        { "full-screen muted in a window while settings run", 1.0, false, true, false, 1.0, 0.0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixture.sharedSuite()->values.clear();
        standard->values.clear();
        fixture.preferences->unavailableSuites.clear();
        if (c.groupMissing)
            fixture.preferences->unavailableSuites << "group.com.quorvel.shared";
        if (c.stored.isValid())
            (c.groupMissing ? standard : fixture.sharedSuite())->setValue("volume", c.stored);
        fixture.workspace->openSettings(c.settingsOpen);
        players.clear();
        auto playback = makePlayback(c.preview);
        EXPECT_DOUBLE_EQ(players[0]->volume(), c.atCreation);
        playback->windowChanged(true);
        EXPECT_DOUBLE_EQ(players[0]->volume(), c.inWindow);
    }
    EXPECT_FALSE(log.messages().filter("] settingsOpen=1 -> volume=0.000000").isEmpty());
}

TEST_F(PlaybackTest, DismissalSignalsPauseUnlessTheWindowStaysVisible)
{
    auto playback = makePlayback();
    playback->setPlaylist({ remote("0.mp4") });
    const auto playingAfter = [&](DismissalSignal signal, bool visible) {
        players[0]->play();
        playback->dismissalSignal(signal, visible);
        return players[0]->isPlaying();
    };
    EXPECT_TRUE(playingAfter(DismissalSignal::WindowDidChangeOcclusionState, true));
    EXPECT_FALSE(playingAfter(DismissalSignal::WindowDidChangeOcclusionState, false));
    EXPECT_FALSE(playingAfter(DismissalSignal::WindowWillClose, true));
    EXPECT_FALSE(playingAfter(DismissalSignal::WindowDidResignKey, true));
    EXPECT_TRUE(
        log.contains("[" + playback->instanceID() + "] dismissal signal: windowDidChangeOcclusionState visible=0"));
    players[0]->play();
    playback->windowChanged(false);
    EXPECT_FALSE(players[0]->isPlaying());
}

TEST_F(PlaybackTest, SessionsOpenOnlyForFullScreenViewsWithoutSettings)
{
    auto preview = makePlayback(true);
    preview->startAnimation();
    preview->stopAnimation();
    fixture.workspace->openSettings(true);
    auto underSettings = makePlayback();
    underSettings->startAnimation();
    underSettings->stopAnimation();
    EXPECT_EQ(sessions(), 0);

    // Two screens in one process: both sessions count.
    fixture.workspace->openSettings(false);
    auto left = makePlayback();
    auto right = makePlayback();
    left->setPlaylist({ remote("0.mp4") });
    left->startAnimation();
    right->startAnimation();
    EXPECT_TRUE(players[2]->isPlaying());
    fixture.clock->advance(10s);
    left->stopAnimation();
    EXPECT_FALSE(players[2]->isPlaying());
    right.reset(); // destruction closes the session too
    EXPECT_EQ(sessions(), 2);
}

} // namespace
} // namespace quorvel::extension
