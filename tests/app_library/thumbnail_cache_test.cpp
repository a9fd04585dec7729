#include "app/library/thumbnail_cache.h"
#include "fake_frame_grabber.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

using library::ThumbnailCache;

const QUrl kClip(QStringLiteral("http://127.0.0.1:9/cdn/clip.mp4"));

struct ThumbnailCacheTest : ::testing::Test {
    QString folder() const { return dir.filePath("thumbnails"); }
    QTemporaryDir dir;
    std::shared_ptr<CountingFrameGrabber> grabbing = std::make_shared<CountingFrameGrabber>();
    CountingFrameGrabber& grabber = *grabbing;
};

TEST_F(ThumbnailCacheTest, AClipIsDecodedOnceAndThenReadFromDisk)
{
    {
        ThumbnailCache cache(grabbing, folder());
        QSignalSpy ready(&cache, &ThumbnailCache::ready);
        cache.request(kClip);
        cache.request(kClip);
        ASSERT_TRUE(ready.wait(1000));
        EXPECT_EQ(grabber.decodes, 1);
        EXPECT_EQ(ready.takeFirst().value(1).value<QImage>().width(), ThumbnailCache::maxWidth);
        cache.request(kClip);
        EXPECT_EQ(ready.size(), 1) << "a remembered thumbnail is handed out at once";
        EXPECT_TRUE(QFileInfo(cache.pathFor(kClip)).isFile());
    }
    // A new cache (the next opening of the window, the next launch) reads the file.
    ThumbnailCache again(grabbing, folder());
    EXPECT_FALSE(again.cached(kClip).isNull());
    QSignalSpy ready(&again, &ThumbnailCache::ready);
    again.request(kClip);
    EXPECT_EQ(ready.size(), 1);
    EXPECT_EQ(grabber.decodes, 1);
}

TEST_F(ThumbnailCacheTest, AFailedClipIsNotDecodedAgainAndStoresNothing)
{
    ThumbnailCache cache(grabbing, folder());
    const QUrl broken(QStringLiteral("http://127.0.0.1:9/cdn/broken.mp4"));
    QSignalSpy ready(&cache, &ThumbnailCache::ready);
    cache.request(broken);
    QTest::qWait(20);
    cache.request(broken);
    QTest::qWait(20);
    EXPECT_EQ(grabber.decodes, 1);
    EXPECT_EQ(ready.size(), 0);
    EXPECT_FALSE(QFileInfo::exists(cache.pathFor(broken)));
}

TEST_F(ThumbnailCacheTest, DecodesRunOneAtATimeLatestRequestFirst)
{
    ThumbnailCache cache(grabbing, folder());
    QSignalSpy ready(&cache, &ThumbnailCache::ready);
    for (int i = 0; i < 4; ++i)
        cache.request(QUrl(QStringLiteral("http://h/%1.mp4").arg(i)));
    EXPECT_EQ(grabber.decodes, 1) << "several decodes were started at once";
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 4, 1000);
    EXPECT_EQ(
        grabber.grabbed, (QStringList { "http://h/0.mp4", "http://h/3.mp4", "http://h/2.mp4", "http://h/1.mp4" }));
}

TEST_F(ThumbnailCacheTest, FileNamesStayInsideTheFolderWhateverTheAddress)
{
    ThumbnailCache cache(grabbing, folder());
    for (const char* address : { "http://h/../../etc/passwd", "file:///tmp/a/b.mp4", "http://h/a%2F..%2Fb", "x" }) {
        const QFileInfo file(cache.pathFor(QUrl(address)));
        EXPECT_EQ(file.absolutePath(), QDir(folder()).absolutePath()) << address;
    }
    EXPECT_NE(cache.pathFor(QUrl("http://h/a.mp4")), cache.pathFor(QUrl("http://h/b.mp4")));
}

TEST_F(ThumbnailCacheTest, AnUnreadableFileIsTreatedAsMissing)
{
    ThumbnailCache cache(grabbing, folder());
    QDir().mkpath(folder());
    QFile junk(cache.pathFor(kClip));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();
    EXPECT_TRUE(cache.cached(kClip).isNull());
    QSignalSpy ready(&cache, &ThumbnailCache::ready);
    cache.request(kClip);
    ASSERT_TRUE(ready.wait(1000));
    EXPECT_FALSE(ThumbnailCache(grabbing, folder()).cached(kClip).isNull()) << "the junk was not replaced";
}

} // namespace
} // namespace quorvel::testing
