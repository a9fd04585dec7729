#include "app/library/thumbnail_cache.h"
#include "fake_frame_grabber.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

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

TEST_F(ThumbnailCacheTest, AFailedClipWaitsForARetryAndStoresNothing)
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
    cache.retryFailures();
    cache.request(broken);
    QTest::qWait(20);
    EXPECT_EQ(grabber.decodes, 2);
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

// Writes a thumbnail-named file (plus `suffix`) of `bytes` bytes, last modified `age` seconds ago.
QString plantThumbnail(const QString& folder, char tag, int bytes, int age, const QString& suffix = {})
{
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(QString(64, QLatin1Char(tag)) + QStringLiteral(".jpg") + suffix));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
    file.flush();
    file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-age), QFileDevice::FileModificationTime);
    return file.fileName();
}

TEST_F(ThumbnailCacheTest, PruningKeepsTheMostRecentlyUsedWithinBothBounds)
{
    struct Case {
        ThumbnailCache::Bounds bounds;
        QString kept; // tags of the files left, newest first
    };
    // Ages: a newest, then b, c, d; d is 300 bytes, the others 100.
    for (const Case& c : { Case { { 10, 10000 }, "abcd" }, Case { { 2, 10000 }, "ab" }, Case { { 10, 250 }, "ab" },
             Case { { 10, 300 }, "abc" }, Case { { 0, 10000 }, "" } }) {
        QTemporaryDir scratch;
        const QString folder = scratch.filePath("thumbnails");
        int age = 0;
        for (char tag : QByteArray("abcd"))
            plantThumbnail(folder, tag, tag == 'd' ? 300 : 100, age += 60);
        const auto kept = [&folder] {
            QString tags;
            for (char tag : QByteArray("abcd"))
                tags += QFileInfo::exists(QDir(folder).filePath(QString(64, QLatin1Char(tag)) + ".jpg"))
                    ? QString(QLatin1Char(tag))
                    : QString();
            return tags;
        };
        ASSERT_EQ(kept(), "abcd");
        EXPECT_EQ(ThumbnailCache::prune(folder, c.bounds), 4 - c.kept.size());
        EXPECT_EQ(kept(), c.kept) << c.bounds.files << " files, " << c.bounds.bytes << " bytes";
    }
}

TEST_F(ThumbnailCacheTest, AThumbnailReadCountsAsUsedAndOnlyAbandonedSavesGoWithIt)
{
    ThumbnailCache cache(grabbing, folder(), nullptr, { 1000, 1 << 20 });
    // The cache's own prune at start must be over before the files below are planted, or it
    // takes the abandoned save first.
    QThreadPool::globalInstance()->waitForDone();
    QImage picture(16, 9, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QDir().mkpath(folder());
    ASSERT_TRUE(picture.save(cache.pathFor(kClip), "JPG"));
    QFile old(cache.pathFor(kClip));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    old.setFileTime(QDateTime::currentDateTimeUtc().addDays(-30), QFileDevice::FileModificationTime);
    old.close();
    plantThumbnail(folder(), 'e', 100, 3600);
    const QString foreign = QDir(folder()).filePath("notes.txt");
    QFile(foreign).open(QIODevice::WriteOnly);
    const QString abandoned = plantThumbnail(folder(), 'f', 100, 3600, ".xQzTwA");
    const QString saving = plantThumbnail(folder(), 'f', 100, 10, ".bKcR7p");
    const QString backup = plantThumbnail(folder(), 'f', 100, 3600, ".bak");

    ASSERT_FALSE(cache.cached(kClip).isNull());
    EXPECT_EQ(ThumbnailCache::prune(folder(), { 1, 1 << 20 }), 2);
    EXPECT_TRUE(QFileInfo::exists(cache.pathFor(kClip))) << "the thumbnail just read was pruned";
    EXPECT_TRUE(QFileInfo::exists(foreign));
    EXPECT_FALSE(QFileInfo::exists(abandoned)) << "an interrupted save was kept";
    EXPECT_TRUE(QFileInfo::exists(saving)) << "a save in progress was removed";
    EXPECT_TRUE(QFileInfo::exists(backup));
}

TEST_F(ThumbnailCacheTest, ANewCacheBringsItsFolderWithinBounds)
{
    for (char tag : QByteArray("abc"))
        plantThumbnail(folder(), tag, 100, 60);
    ThumbnailCache cache(grabbing, folder(), nullptr, { 1, 1 << 20 });
    QTRY_COMPARE_WITH_TIMEOUT(QDir(folder()).entryList(QDir::Files).size(), 1, 2000);
}

} // namespace
} // namespace quorvel::testing
