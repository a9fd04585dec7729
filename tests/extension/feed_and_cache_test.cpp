#include "extension/clip_cache.h"
#include "extension/feed_loader.h"

#include "support/coro.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace quorvel::extension {
namespace {

using namespace std::chrono_literals;
using testing::await;
using Mode = testing::CannedReply::Mode;

testing::CannedReply reply(int status, QByteArray body, Mode mode = Mode::Whole)
{
    return { status, {}, std::move(body), mode };
}

// Request targets (path and query) in arrival order.
QStringList paths(const testing::LoopbackHttpServer& server)
{
    QStringList result;
    for (const testing::ReceivedRequest& request : server.requests())
        result << request.path;
    return result;
}

const QByteArray kOneClip = R"({"videos":[{"url":"https://cdn.example/s/one.mp4","author":"A"}]})";
const QByteArray kTwoClips
    = R"({"videos":[{"url":"https://cdn.example/s/one.mp4"},{"url":"https://cdn.example/s/two.mp4"}]})";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString closedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

class FeedTest : public ::testing::Test {
protected:
    std::vector<Video> load(const QUrl& url, std::chrono::milliseconds timeout = 8000ms)
    {
        return await(loadPlaylist(network, url, cacheDir.path(), fallback, timeout, &owner));
    }
    QString lastGoodPath() const { return QDir(cacheDir.path()).filePath("last-good-feed.json"); }

    testing::LoopbackHttpServer server;
    QObject owner;
    std::shared_ptr<QNetworkAccessManager> network = std::make_shared<QNetworkAccessManager>();
    QTemporaryDir cacheDir;
    Video fallback = makeFallbackVideo(QUrl::fromLocalFile("/bundle/Contents/Resources/QuorvelSample.mp4"));
    testing::LogCapture log;
};

TEST_F(FeedTest, AnyStatusWithAManifestBodyIsUsedAndSaved)
{
    server.serve("/feed", reply(500, kTwoClips));
    const auto videos = load(server.url("/feed?t=1&user=unknown"));
    ASSERT_EQ(videos.size(), 2u);
    EXPECT_EQ(videos[1].url, QUrl("https://cdn.example/s/two.mp4"));
    EXPECT_EQ(readFile(lastGoodPath()), kTwoClips) << "the body is kept byte for byte";
    EXPECT_TRUE(log.contains("manifest: 2 videos"));
    EXPECT_EQ(paths(server), QStringList { "/feed?t=1&user=unknown" });
}

TEST_F(FeedTest, UnusableAnswersFallBackToTheLastGoodFeed)
{
    struct Case {
        const char* name;
        testing::CannedReply response;
    } cases[] = {
        { "200 with an invalid body", reply(200, "<html>oops</html>") },
        { "entry without url", reply(200, R"({"videos":[{"url":"https://cdn.example/a.mp4"},{"title":"x"}]})") },
        { "truncated body", reply(200, kTwoClips, Mode::CutMidBody) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(lastGoodPath(), kOneClip);
        log.clear();
        server.serve("/feed", c.response);
        const auto videos = load(server.url("/feed"));
        ASSERT_EQ(videos.size(), 1u);
        EXPECT_EQ(videos[0].author, QString("A"));
        EXPECT_EQ(readFile(lastGoodPath()), kOneClip) << "a bad answer never replaces the last good feed";
        ASSERT_FALSE(log.messages().isEmpty());
        EXPECT_TRUE(log.messages().first().startsWith("manifest failed: "));
        EXPECT_TRUE(log.contains("using last-good feed (1 videos)"));
    }
}

TEST_F(FeedTest, TransportFailuresFallBackAndEndInTheSampleClip)
{
    // Nothing listening, and no last good feed: the sample clip.
    auto videos = load(QUrl(closedPortUrl() + "/feed"));
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(videos[0], fallback);
    EXPECT_TRUE(log.messages().first().startsWith("manifest failed: "));

    // A stalled server hits the request's own timeout, then the last good feed plays.
    writeFile(lastGoodPath(), kTwoClips);
    server.serve("/feed", reply(200, {}, Mode::Stall));
    videos = load(server.url("/feed"), 200ms);
    EXPECT_EQ(videos.size(), 2u);
}

TEST_F(FeedTest, AnEmptyFeedReplacesTheLastGoodAndPlaysTheSampleClip)
{
    writeFile(lastGoodPath(), kTwoClips);
    server.serve("/feed", reply(200, R"({"videos":[]})"));
    auto videos = load(server.url("/feed"));
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(videos[0], fallback);
    EXPECT_EQ(readFile(lastGoodPath()), R"({"videos":[]})");

    // Next run without the service: the empty last-good feed yields nothing either.
    videos = load(QUrl(closedPortUrl() + "/feed"));
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(videos[0], fallback);
    EXPECT_TRUE(log.contains("using last-good feed (0 videos)"));
}

TEST_F(FeedTest, AnOversizedBodyIsRefusedUnread)
{
    writeFile(lastGoodPath(), kOneClip);
    QByteArray huge = R"({"videos":[],"pad":")";
    huge += QByteArray(kMaxFeedBytes + 1024, 'x') + R"("})";
    server.serve("/feed", reply(200, huge));
    const auto videos = load(server.url("/feed"));
    EXPECT_EQ(videos.size(), 1u);
    EXPECT_EQ(readFile(lastGoodPath()), kOneClip);
    EXPECT_TRUE(log.contains(QStringLiteral("manifest failed: The feed is larger than %1 bytes.").arg(kMaxFeedBytes)));
}

TEST_F(FeedTest, ARequestDiesWithItsView)
{
    writeFile(lastGoodPath(), kTwoClips);
    server.serve("/feed", reply(200, {}, Mode::Stall));
    auto view = std::make_unique<QObject>();
    auto task = loadPlaylist(network, server.url("/feed"), cacheDir.path(), fallback, 8000ms, view.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests().isEmpty(); }, 2000));
    view.reset();
    EXPECT_TRUE(await(std::move(task)).empty()) << "nothing is played for a view that is gone";
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(FeedTest, AnUndecodableLastGoodFeedIsIgnored)
{
    writeFile(lastGoodPath(), "{\"videos\":");
    const auto videos = load(QUrl(closedPortUrl() + "/feed"));
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(videos[0], fallback);
    EXPECT_FALSE(log.contains("using last-good feed (0 videos)"));
}

class CacheTest : public FeedTest {
protected:
    Video clip(const QString& path) { return Video { server.url(path), {}, {}, {}, {} }; }
    void cacheAll(const std::vector<Video>& playlist)
    {
        QObject owner;
        await(ClipCache::cacheClips(cache, &owner, [playlist] { return playlist; }));
    }
    QStringList entries() const
    {
        return QDir(cacheDir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString pathOf(const Video& video) const { return QDir(cacheDir.path()).filePath(cacheFileName(video.url)); }

    std::shared_ptr<ClipCache> cache = std::make_shared<ClipCache>(cacheDir.path(), network, 300ms);
};

TEST_F(CacheTest, DownloadsMissingClipsAndPrunesEverythingElse)
{
    server.serve("/s/one.mp4", reply(200, QByteArray(300'000, 'a')));
    server.serve("/s/two.mp4", reply(200, "two"));
    const std::vector<Video> playlist { clip("/s/one.mp4"), clip("/s/two.mp4"), clip("/s/gone.mp4") };
    writeFile(lastGoodPath(), kOneClip);
    writeFile(QDir(cacheDir.path()).filePath("0badcafe_old_clip.mp4"), "stale");
    writeFile(QDir(cacheDir.path()).filePath(".partial-leftover"), "half");

    cacheAll(playlist);

    EXPECT_EQ(readFile(pathOf(playlist[0])).size(), 300'000);
    EXPECT_EQ(readFile(pathOf(playlist[1])), "two");
    QStringList expected { "last-good-feed.json", cacheFileName(playlist[0].url), cacheFileName(playlist[1].url) };
    expected.sort();
    EXPECT_EQ(entries(), expected);
    EXPECT_TRUE(log.contains("cached " + cacheFileName(playlist[1].url)));
    EXPECT_TRUE(log.contains("cache skip " + playlist[2].url.toString() + ": HTTP 404"));
    EXPECT_EQ(cache->cachedFileURL(playlist[1]), QUrl::fromLocalFile(pathOf(playlist[1])));

    // A second run finds both cached and downloads nothing.
    const qsizetype before = server.requests().size();
    cacheAll(playlist);
    EXPECT_EQ(paths(server).mid(before), QStringList { "/s/gone.mp4" });
}

TEST_F(CacheTest, ZeroByteFilesCountAsAbsentAndAreFetchedAgain)
{
    server.serve("/s/one.mp4", reply(200, "bytes"));
    const Video one = clip("/s/one.mp4");
    writeFile(pathOf(one), "");
    EXPECT_EQ(cache->cachedFileURL(one), std::nullopt);
    cacheAll({ one });
    EXPECT_EQ(readFile(pathOf(one)), "bytes");
    EXPECT_TRUE(cache->cachedFileURL(one).has_value());
}

TEST_F(CacheTest, FailedDownloadsLeaveNothingBehind)
{
    struct Case {
        const char* name;
        testing::CannedReply response;
        const char* logPrefix;
    } cases[] = {
        { "cut off mid-body", reply(200, QByteArray(200'000, 'x'), Mode::CutMidBody), "cache failed one.mp4: " },
        { "server stalls", reply(200, {}, Mode::Stall), "cache failed one.mp4: " },
        { "server error", reply(500, "boom"), "cache skip " },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        server.serve("/s/one.mp4", c.response);
        cacheAll({ clip("/s/one.mp4") });
        EXPECT_EQ(entries(), QStringList {}) << "no partial file and no clip";
        bool logged = false;
        for (const QString& line : log.messages())
            logged = logged || line.startsWith(c.logPrefix);
        EXPECT_TRUE(logged) << log.messages().join('\n').toStdString();
    }
}

TEST_F(CacheTest, TwoViewsShareTheCacheWithoutUndoingEachOther)
{
    // The first view's clip is slow to arrive; the second view finishes and prunes meanwhile.
    cache = std::make_shared<ClipCache>(cacheDir.path(), network, 10s);
    server.serve("/s/slow.mp4", reply(200, {}, Mode::Stall));
    server.serve("/s/fast.mp4", reply(200, "fast"));
    const Video slow = clip("/s/slow.mp4"), fast = clip("/s/fast.mp4");
    auto first = std::make_unique<QObject>();
    auto firstRun = ClipCache::cacheClips(cache, first.get(), [&] { return std::vector<Video> { slow, fast }; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return paths(server).contains("/s/slow.mp4"); }, 2000));

    QObject second;
    await(ClipCache::cacheClips(cache, &second, [&] { return std::vector<Video> { slow, fast }; }));
    EXPECT_EQ(paths(server).count("/s/slow.mp4"), 1) << "a clip another view is fetching is not fetched twice";
    EXPECT_EQ(entries().filter(".partial-").size(), 1) << "the other view's download in flight is not pruned";

    // The first view goes away: its download stops and leaves nothing behind.
    first.reset();
    await(std::move(firstRun));
    EXPECT_EQ(entries(), QStringList { cacheFileName(fast.url) });
}

TEST_F(CacheTest, NeverFetchesOrKeepsNonHttpClips)
{
    writeFile(QDir(cacheDir.path()).filePath("secret.txt"), "keep out");
    const Video local { QUrl::fromLocalFile(QDir(cacheDir.path()).filePath("secret.txt")), {}, {}, {}, {} };
    cacheAll({ local });
    EXPECT_EQ(entries(), QStringList {}) << "the local file is not copied in, and the stray file is pruned";
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(CacheTest, OnlyFilesDirectlyInsideTheCacheAreCacheFiles)
{
    const QString dir = cacheDir.path();
    EXPECT_TRUE(cache->isCacheFile(dir + "/0b885c8b_clip.mp4"));
    EXPECT_FALSE(cache->isCacheFile(dir + "/last-good-feed.json"));
    EXPECT_FALSE(cache->isCacheFile(dir + "/sub/clip.mp4"));
    EXPECT_FALSE(cache->isCacheFile(dir + "/../clip.mp4"));
    EXPECT_FALSE(cache->isCacheFile("/etc/passwd"));
}

} // namespace
} // namespace quorvel::extension
