#include "extension/quorvel_playback.h"
#include "extension_fixture.h"

#include "support/coro.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

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
    QTemporaryDir elsewhere;
    const QString victim = testing::writeFile(elsewhere.filePath("precious.mp4"), "bytes");
    testing::writeFile(cachePath, "bytes");
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

// Nobody sees the view while its window is unexposed or the display is off: the player pauses
// and picks up the same clip where it was; only what paused it before (a dismissal, the host's
// stop) keeps it paused on waking, and retention sessions go on as the host drives them.
TEST_F(PlaybackTest, NothingDecodesWhileNobodySeesAndPlaybackResumesWhereItWas)
{
    auto display = std::make_shared<testing::FakeDisplayPower>();
    fixture.environment->displayPower = display;
    auto playback = makePlayback();
    FakeMediaPlayer& player = *players[0];
    playback->setPlaylist({ remote("0.mp4"), remote("1.mp4") });
    playback->startAnimation();
    const QList<QUrl> playing = player.items;

    const struct {
        const char* name;
        std::function<void(bool seen)> see;
    } causes[] = {
        { "display off", [&](bool seen) { display->set(seen); } },
        { "window unexposed", [&](bool seen) { playback->setExposed(seen); } },
    };
    for (const auto& cause : causes) {
        SCOPED_TRACE(cause.name);
        cause.see(false);
        EXPECT_TRUE(playback->isSuspended());
        EXPECT_FALSE(player.isPlaying());
        playback->startAnimation(); // the host starting again does not undo it
        EXPECT_FALSE(player.isPlaying());
        cause.see(true);
        EXPECT_TRUE(player.isPlaying());
        EXPECT_EQ(player.items, playing) << "the same clip, not the next nor a new item";
        EXPECT_EQ(player.seeks, 0) << "from where it was";
    }
    EXPECT_TRUE(playback->retention().hasOpenSession()) << "a suspension is no end of a session";

    // Paused for its own reasons while suspended: waking leaves it paused.
    display->set(false);
    playback->setExposed(false);
    display->set(true);
    EXPECT_FALSE(player.isPlaying()) << "still unexposed";
    playback->dismissalSignal(DismissalSignal::WindowDidResignKey, true);
    playback->setExposed(true);
    EXPECT_FALSE(player.isPlaying()) << "a dismissal is not undone by waking";
    playback->startAnimation();
    EXPECT_TRUE(player.isPlaying());
    display->set(false);
    playback->stopAnimation();
    display->set(true);
    EXPECT_FALSE(player.isPlaying()) << "the host's stop is not undone by waking";
    EXPECT_FALSE(playback->retention().hasOpenSession());
}

// The feed is slow to come: what the disk holds plays meanwhile, and the fetched list takes over at
// the next clip change, from its top (or its second clip when the top is already on screen).
TEST_F(PlaybackTest, DiskFillsTheWaitForTheFeedWhichTakesOverAtTheNextClipChange)
{
    using Mode = testing::CannedReply::Mode;
    const struct {
        const char* name;
        QStringList lastGood; // "*" marks a clip whose file is cached
        bool sampleOnDisk;
        QStringList fresh; // empty: the feed stalls past its timeout
        QStringList whileWaiting, onArrival, afterTwoChanges;
        const char* logged;
    } cases[] = {
        { "the cached clip on screen tops the feed: its second clip follows", { "*a", "b", "*c" }, true, { "a", "d" },
            { "file:a" }, { "file:a" }, { "file:a", "d", "file:a" }, "manifest: 2 videos" },
        { "a new clip at the top comes right after the clip on screen", { "*a" }, false, { "n", "a" }, { "file:a" },
            { "file:a" }, { "file:a", "n", "file:a" }, "manifest: 2 videos" },
        { "stalled feed: the whole last good feed follows", { "*a", "b" }, false, {}, { "file:a" }, { "file:a" },
            { "file:a", "b", "file:a" }, "using last-good feed (2 videos)" },
        { "nothing cached: the built-in clip fills the wait", { "b" }, true, { "a" }, { "file:sample" },
            { "file:sample" }, { "file:sample", "a", "a" }, "manifest: 1 videos" },
        { "nothing on disk: the feed plays as it arrives", {}, false, { "a" }, {}, { "a" }, { "a", "a", "a" },
            "manifest: 1 videos" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ExtensionFixture fixture;
        testing::LoopbackHttpServer server;
        testing::LogCapture caseLog;
        auto& env = *fixture.environment;
        env.serviceBaseUrl = server.url().toString();
        env.feedTimeout = 50ms;
        const auto clip = [&](QString name) {
            name.remove('*');
            return Video { server.url("/s/" + name + ".mp4"), QString("A"), {}, {}, name };
        };
        const auto manifest = [&](const QStringList& names) {
            QJsonArray videos;
            for (const QString& name : names)
                videos.append(QJsonObject { { "url", clip(name).url.toString() }, { "title", name } });
            return QJsonDocument(QJsonObject { { "videos", videos } }).toJson();
        };
        const auto write = testing::writeFile;
        if (!c.lastGood.isEmpty())
            write(QDir(env.cacheDirectory).filePath("last-good-feed.json"), manifest(c.lastGood));
        for (const QString& name : c.lastGood)
            if (name.startsWith('*'))
                write(QDir(env.cacheDirectory).filePath(cacheFileName(clip(name).url)), "clip");
        env.sampleClipURL = QUrl::fromLocalFile(fixture.cacheDir.filePath("sample.mp4"));
        if (c.sampleOnDisk)
            write(env.sampleClipURL.toLocalFile(), "clip");
        server.serve("/feed",
            testing::CannedReply { 200, {}, manifest(c.fresh), c.fresh.isEmpty() ? Mode::Stall : Mode::Whole });

        auto player = std::make_unique<FakeMediaPlayer>();
        FakeMediaPlayer& fake = *player;
        QuorvelPlayback playback(fixture.environment, std::move(player), false, retention);
        const auto played = [&] {
            QStringList names;
            for (const QUrl& url : fake.items)
                names << (url.isLocalFile() ? "file:" : "") + url.fileName().section('_', -1).section('.', 0, 0);
            return names;
        };
        QCoro::Task<> loading = playback.loadFeed();
        EXPECT_EQ(played(), c.whileWaiting);
        testing::await(std::move(loading));
        EXPECT_EQ(played(), c.onArrival);
        EXPECT_FALSE(playback.isFillingWait());
        fake.becomeReady();
        fake.finish();
        fake.becomeReady();
        fake.finish();
        EXPECT_EQ(played(), c.afterTwoChanges);
        EXPECT_EQ(playback.index(), 3) << "the count of clips started goes on across the switch";
        EXPECT_TRUE(caseLog.contains(c.logged));
    }
}

} // namespace
} // namespace quorvel::extension
