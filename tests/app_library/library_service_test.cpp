// The library against the reference service over real HTTP: a generated clip is listed, titled,
// published, and then the community feed lists it with its title; its first frame decodes.
#include "app/library/library_view.h"
#include "app/library/player_view.h"
#include "app/library/thumbnail_cache.h"
#include "app_client/service_session.h"
#include "platform/linux/frame_grabber_qt.h"
#include "platform/linux/media_player_qt.h"

#include <QSignalSpy>
#include <QTemporaryDir>

namespace quorvel::testing {
namespace {

class LibraryService : public ServiceSession {
protected:
    QString generateClip()
    {
        app::GenerationStore store(*auth, app::DebugSources { identity, secrets }, sleeper);
        return generate(store,
            { "a ferry crossing at dawn", "noir", "push-in", "dreamy", true, "none", "@ferry",
                auth->machineIdentifier() });
    }
};

TEST_F(LibraryService, ListTitlePublishAndTheFeedShowsTheTitle)
{
    library::LibraryView view(*auth);
    await(view.loadHistory());
    EXPECT_TRUE(view.loaded());
    EXPECT_TRUE(view.items().isEmpty());
    EXPECT_EQ(view.error(), std::nullopt);

    const QString clip = generateClip();
    ASSERT_FALSE(clip.isEmpty());
    await(view.loadHistory());
    ASSERT_EQ(view.items().size(), 1);
    EXPECT_EQ(view.items()[0].url, clip);
    EXPECT_FALSE(view.items()[0].approved);
    EXPECT_EQ(view.items()[0].author, "@ferry");

    const QString title = QString::fromUtf8("  Ferry ⛴ עם שחר  ");
    view.setTitle(clip, title);
    await(view.saveTitle(clip));
    EXPECT_EQ(view.error(), std::nullopt);
    EXPECT_EQ(view.savedUrl(), clip);
    await(view.publish(clip));
    EXPECT_EQ(view.error(), std::nullopt);
    EXPECT_TRUE(view.item(clip)->approved);

    await(view.loadHistory());
    EXPECT_TRUE(view.item(clip)->approved);
    EXPECT_EQ(view.item(clip)->title, title) << "the title was not stored exactly as typed";
    EXPECT_EQ(feedEntry(clip).value_or(QJsonObject())["title"].toString(), title);
}

TEST_F(LibraryService, TooLongATitleIsRefusedAndNothingIsPublished)
{
    const QString clip = generateClip();
    ASSERT_FALSE(clip.isEmpty());
    library::LibraryView view(*auth);
    await(view.loadHistory());
    view.setTitle(clip, QString(20000, QLatin1Char('x')));
    await(view.publish(clip));
    EXPECT_EQ(view.error(), library::texts::publishFailed);
    EXPECT_FALSE(view.item(clip)->approved);
    EXPECT_EQ(view.item(clip)->title.size(), 20000);
    await(view.loadHistory());
    EXPECT_FALSE(view.item(clip)->approved);
}

TEST_F(LibraryService, TheClipsFirstFrameDecodesAndThePlayerShowsFrames)
{
    const QString clip = generateClip();
    ASSERT_FALSE(clip.isEmpty());
    QTemporaryDir dir;
    library::ThumbnailCache thumbnails(std::make_shared<platform::QtFrameGrabber>(), dir.filePath("t"));
    QSignalSpy ready(&thumbnails, &library::ThumbnailCache::ready);
    thumbnails.request(QUrl(clip));
    ASSERT_TRUE(ready.wait(20000)) << "no first frame from the service's clip";
    const QImage image = ready.first().value(1).value<QImage>();
    EXPECT_GT(image.width(), 0);
    EXPECT_LE(image.width(), library::ThumbnailCache::maxWidth);
    EXPECT_TRUE(QFileInfo(thumbnails.pathFor(QUrl(clip))).isFile());

    library::PlayerView view(platform::QtMediaPlayer::factory());
    view.setLoadOnDemand(true);
    view.setUrl(QUrl(clip));
    view.show();
    EXPECT_EQ(view.player(), nullptr);
    view.togglePlayback();
    ASSERT_NE(view.player(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view.displayedImage().isNull(); }, 20000)) << "no frame reached the view";
    view.togglePlayback();
    EXPECT_FALSE(view.player()->isPlaying());
}

} // namespace
} // namespace quorvel::testing
