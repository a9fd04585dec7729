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

TEST(FeedModel, CacheNamesCaptionsAndRemoteClips)
{
    EXPECT_EQ(cacheFileName(QUrl("abc")), "0b885c8b_abc");
    EXPECT_TRUE(cacheFileName(QUrl("https://cdn.example/a/b/season/clip.mp4")).endsWith("_season_clip.mp4"));
    // A clip at the root of its host: the hash and the file name alone, no separator.
    EXPECT_TRUE(
        QRegularExpression("^[0-9a-f]{8}_clip\\.mp4$").match(cacheFileName(QUrl("https://h/clip.mp4"))).hasMatch());
    EXPECT_FALSE(cacheFileName(QUrl("https://cdn.example/")).contains('/'));
    EXPECT_NE(cacheFileName(QUrl("https://one.example/s/c.mp4")), cacheFileName(QUrl("https://two.example/s/c.mp4")));

    const auto caption
        = [](std::optional<QString> author, std::optional<QString> location, std::optional<QString> date) {
              return captionText(Video { QUrl("https://h/a.mp4"), author, location, date, std::nullopt });
          };
    EXPECT_EQ(caption("A", "Oslo", "2024-12-25"), QString("A  \u00B7  Oslo  \u00B7  Dec 25, 2024"));
    EXPECT_EQ(caption("", "", ""), "");
    EXPECT_EQ(caption("A", std::nullopt, "2025-13-40"), QString("A  \u00B7  2025-13-40"));
    EXPECT_EQ(captionText(makeFallbackVideo(QUrl::fromLocalFile("/x/QuorvelSample.mp4"))), "Quorvel");

    EXPECT_TRUE(isRemoteClipURL(QUrl("HTTP://h/a.mp4")));
    for (const char* url : { "file:///etc/passwd", "/etc/passwd", "ftp://h/a.mp4", "http:///a.mp4" })
        EXPECT_FALSE(isRemoteClipURL(QUrl(url))) << url;
}

class FeedTest : public ::testing::Test {
protected:
    std::vector<Video> load(const QUrl& url, QObject* view, std::chrono::milliseconds timeout = 1000ms)
    {
        return await(loadPlaylist(network, url, cacheDir.path(), fallback, timeout, view));
    }
    QString lastGoodPath() const { return QDir(cacheDir.path()).filePath("last-good-feed.json"); }

    testing::LoopbackHttpServer server;
    std::shared_ptr<QNetworkAccessManager> network = std::make_shared<QNetworkAccessManager>();
    QTemporaryDir cacheDir;
    Video fallback = makeFallbackVideo(QUrl::fromLocalFile("/bundle/Contents/Resources/QuorvelSample.mp4"));
    testing::LogCapture log;
};

TEST_F(FeedTest, FallbackChain)
{
    const QByteArray good = R"({"videos":[{"url":"https://h/old.mp4","author":"A"}]})";
    const QByteArray two = R"({"videos":[{"url":"https://h/1.mp4","author":null,"x":1},{"url":"https://h/2.mp4"}]})";
    const QByteArray empty = R"({"videos":[]})";
    const QByteArray huge = R"({"videos":[],"pad":")" + QByteArray(kMaxFeedBytes + 1024, 'x') + R"("})";
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const QUrl closed(QStringLiteral("http://127.0.0.1:%1/feed").arg(probe.serverPort()));
    probe.close();

    const struct {
        const char* name;
        QByteArray lastGood;
        std::optional<testing::CannedReply> answer; // none: nothing listens
        const char* firstUrl; // none: the sample clip alone
        QByteArray lastGoodAfter;
        int lastGoodVideosUsed; // -1: the last good feed is not used
        QString logged;
    } cases[] = {
        { "500 with a manifest body is used and kept byte for byte", good, reply(500, two), "https://h/1.mp4", two, -1,
            "manifest: 2 videos" },
        { "200 with an invalid body", good, reply(200, "<html>oops</html>"), "https://h/old.mp4", good, 1,
            "manifest failed: " },
        { "entry without url", good, reply(200, R"({"videos":[{"url":"https://h/a.mp4"},{"title":"x"}]})"),
            "https://h/old.mp4", good, 1, "manifest failed: " },
        { "author of the wrong type", good, reply(200, R"({"videos":[{"url":"https://h/a.mp4","author":7}]})"),
            "https://h/old.mp4", good, 1, "manifest failed: " },
        { "invalid url", good, reply(200, R"({"videos":[{"url":"http://[::1"}]})"), "https://h/old.mp4", good, 1,
            "manifest failed: " },
        { "truncated body", good, reply(200, two, Mode::CutMidBody), "https://h/old.mp4", good, 1,
            "manifest failed: " },
        { "oversized body is refused", good, reply(200, huge), "https://h/old.mp4", good, 1,
            QStringLiteral("manifest failed: The feed is larger than %1 bytes.").arg(kMaxFeedBytes) },
        { "stalled server times out", good, reply(200, {}, Mode::Stall), "https://h/old.mp4", good, 1,
            "manifest failed: " },
        { "empty list replaces the last good", two, reply(200, empty), nullptr, empty, -1, "manifest: 0 videos" },
        { "empty last good, no service", empty, std::nullopt, nullptr, empty, 0, "manifest failed: " },
        { "undecodable last good, no service", "{\"videos\":", std::nullopt, nullptr, "{\"videos\":", -1,
            "manifest failed: " },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(lastGoodPath());
        writeFile(lastGoodPath(), c.lastGood);
        log.clear();
        if (c.answer)
            server.serve("/feed", *c.answer);
        QObject view;
        const auto videos = load(c.answer ? server.url("/feed") : closed, &view);
        ASSERT_FALSE(videos.empty());
        if (c.firstUrl)
            EXPECT_EQ(videos[0].url, QUrl(c.firstUrl));
        else
            EXPECT_EQ(videos, std::vector<Video> { fallback });
        EXPECT_EQ(readFile(lastGoodPath()), c.lastGoodAfter);
        ASSERT_FALSE(log.messages().isEmpty());
        EXPECT_TRUE(log.messages().first().startsWith(c.logged)) << log.messages().first().toStdString();
        if (c.lastGoodVideosUsed >= 0)
            EXPECT_TRUE(log.contains(QStringLiteral("using last-good feed (%1 videos)").arg(c.lastGoodVideosUsed)));
        else
            EXPECT_TRUE(log.messages().filter("using last-good").isEmpty());
    }
}

TEST_F(FeedTest, ARequestDiesWithItsView)
{
    writeFile(lastGoodPath(), R"({"videos":[{"url":"https://h/old.mp4"}]})");
    server.serve("/feed", reply(200, {}, Mode::Stall));
    auto view = std::make_unique<QObject>();
    auto task = loadPlaylist(network, server.url("/feed"), cacheDir.path(), fallback, 8000ms, view.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests().isEmpty(); }, 2000));
    view.reset();
    EXPECT_TRUE(await(std::move(task)).empty()) << "nothing is played for a view that is gone";
    EXPECT_TRUE(log.messages().isEmpty());
}

class CacheTest : public FeedTest {
protected:
    Video clip(const QString& path) { return Video { server.url(path), {}, {}, {}, {} }; }
    void cacheAll(const std::vector<Video>& playlist)
    {
        QObject view;
        await(ClipCache::cacheClips(cache, &view, [playlist] { return playlist; }));
    }
    QStringList entries() const
    {
        return QDir(cacheDir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString pathOf(const Video& video) const { return QDir(cacheDir.path()).filePath(cacheFileName(video.url)); }
    qsizetype fetches(const QString& path) const
    {
        const QList<testing::ReceivedRequest> all = server.requests();
        return std::count_if(all.begin(), all.end(), [&](const auto& request) { return request.path == path; });
    }

    std::shared_ptr<ClipCache> cache = std::make_shared<ClipCache>(cacheDir.path(), network, 300ms);
};

TEST_F(CacheTest, DownloadsMissingClipsAndPrunesEverythingElse)
{
    server.serve("/s/one.mp4", reply(200, QByteArray(300'000, 'a')));
    server.serve("/s/two.mp4", reply(200, "two"));
    const std::vector<Video> playlist { clip("/s/one.mp4"), clip("/s/two.mp4"), clip("/s/gone.mp4") };
    writeFile(lastGoodPath(), "{}");
    writeFile(QDir(cacheDir.path()).filePath("0badcafe_old_clip.mp4"), "stale");
    writeFile(QDir(cacheDir.path()).filePath(".partial-leftover"), "half");
    writeFile(pathOf(playlist[1]), ""); // a zero-byte file counts as absent
    EXPECT_EQ(cache->cachedFileURL(playlist[1]), std::nullopt);

    cacheAll(playlist);
    EXPECT_EQ(readFile(pathOf(playlist[0])).size(), 300'000);
    EXPECT_EQ(readFile(pathOf(playlist[1])), "two");
    QStringList expected { "last-good-feed.json", cacheFileName(playlist[0].url), cacheFileName(playlist[1].url) };
    expected.sort();
    EXPECT_EQ(entries(), expected);
    EXPECT_TRUE(log.contains("cached " + cacheFileName(playlist[1].url)));
    EXPECT_TRUE(log.contains("cache skip " + playlist[2].url.toString() + ": HTTP 404"));
    EXPECT_EQ(cache->cachedFileURL(playlist[1]), QUrl::fromLocalFile(pathOf(playlist[1])));

    cacheAll(playlist); // cached clips are not fetched again
    EXPECT_EQ(fetches("/s/one.mp4") + fetches("/s/two.mp4") + fetches("/s/gone.mp4"), 4);
}

TEST_F(CacheTest, FailedDownloadsLeaveNothingBehind)
{
    const struct {
        const char* name;
        testing::CannedReply response;
        const char* logPrefix;
    } cases[] = {
        { "cut off mid-body", reply(200, QByteArray(200'000, 'x'), Mode::CutMidBody), "cache failed one.mp4: " },
        { "server stalls", reply(200, {}, Mode::Stall), "cache failed one.mp4: " },
        { "server error", reply(500, "boom"), "cache skip " },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        server.serve("/s/one.mp4", c.response);
        cacheAll({ clip("/s/one.mp4") });
        EXPECT_EQ(entries(), QStringList {}) << "no partial file and no clip";
        EXPECT_FALSE(log.messages().filter(QRegularExpression("^" + QRegularExpression::escape(c.logPrefix))).isEmpty())
            << log.messages().join('\n').toStdString();
    }
}

TEST_F(CacheTest, TwoViewsShareTheCacheWithoutUndoingEachOther)
{
    // The first view's clip is slow to arrive; the second view finishes and prunes meanwhile.
    cache = std::make_shared<ClipCache>(cacheDir.path(), network, 10s);
    server.serve("/s/slow.mp4", reply(200, {}, Mode::Stall));
    server.serve("/s/fast.mp4", reply(200, "fast"));
    const std::vector<Video> playlist { clip("/s/slow.mp4"), clip("/s/fast.mp4") };
    auto first = std::make_unique<QObject>();
    auto firstRun = ClipCache::cacheClips(cache, first.get(), [&] { return playlist; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return fetches("/s/slow.mp4") == 1; }, 2000));

    cacheAll(playlist);
    EXPECT_EQ(fetches("/s/slow.mp4"), 1) << "a clip another view is fetching is not fetched twice";
    EXPECT_EQ(entries().filter(".partial-").size(), 1) << "the other view's download in flight is not pruned";

    first.reset(); // its download stops and leaves nothing behind
    await(std::move(firstRun));
    EXPECT_EQ(entries(), QStringList { cacheFileName(playlist[1].url) });
}

TEST_F(CacheTest, NeverFetchesKeepsOrTrustsFilesOutsideIt)
{
    const QString dir = cacheDir.path();
    writeFile(dir + "/secret.txt", "keep out");
    cacheAll({ Video { QUrl::fromLocalFile(dir + "/secret.txt"), {}, {}, {}, {} } });
    EXPECT_EQ(entries(), QStringList {}) << "the local file is not copied in, and the stray file is pruned";
    EXPECT_TRUE(server.requests().isEmpty());

    EXPECT_TRUE(cache->isCacheFile(dir + "/0b885c8b_clip.mp4"));
    for (const QString& path : { dir + "/last-good-feed.json", dir + "/sub/clip.mp4", dir + "/../clip.mp4" })
        EXPECT_FALSE(cache->isCacheFile(path)) << path.toStdString();
}

} // namespace
} // namespace quorvel::extension
