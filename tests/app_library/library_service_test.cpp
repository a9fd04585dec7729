// The library against the reference service over real HTTP: a generated clip is listed, titled,
// published, and then the community feed lists it with its title; its first frame decodes.
#include "app/client/auth_store.h"
#include "app/client/generation_store.h"
#include "app/client/service_json.h"
#include "app/library/library_view.h"
#include "app/library/player_view.h"
#include "app/library/thumbnail_cache.h"
#include "platform/linux/frame_grabber_qt.h"
#include "platform/linux/media_player_qt.h"
#include "support/coro.h"
#include "support/fake_platform.h"
#include "support/manual_clock.h"
#include "support/memory_secret_store.h"
#include "support/service_process.h"

#include <QCoroNetworkReply>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

QCoro::Task<QByteArray> fetch(QNetworkAccessManager& session, QUrl url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(10000);
    std::unique_ptr<QNetworkReply> reply(session.get(request));
    co_await qCoro(reply.get()).waitForFinished();
    co_return reply->readAll();
}

// The title the feed gives the clip; none when the feed does not list it.
std::optional<QString> feedTitle(const QByteArray& feed, const QString& clip)
{
    for (const QJsonValue& entry : app::json::object(feed).value_or(QJsonObject()).value("videos").toArray())
        if (entry["url"].toString() == clip)
            return entry["title"].toString();
    return std::nullopt;
}

class LibraryService : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(QUORVEL_BIN_DIR "/quorvel-service")) << "the reference service is not built";
        ASSERT_TRUE(service.start()) << service.errorText().toStdString();
        auth = std::make_unique<app::AuthStore>(
            session, secrets, identity, system, app::ServiceConfig { service.baseUrl() });
        ASSERT_TRUE(await(auth->ensureEnrolled()));
    }

    // Generates one clip with the instant service and returns its address.
    QString generateClip()
    {
        ManualClock clock;
        ManualSleeper sleeper(clock);
        app::GenerationStore store(*auth, app::DebugSources { identity, secrets }, sleeper);
        const app::GenerationSubmission submission { "a ferry crossing at dawn", "noir", "push-in", "dreamy", true,
            "none", "@ferry", auth->machineIdentifier() };
        if (!store.start(submission))
            return {};
        QEventLoop loop;
        QObject::connect(&store, &app::GenerationStore::isRunningChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        if (store.isRunning())
            loop.exec();
        return store.clipURL().value_or(QString());
    }

    ServiceProcess service;
    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    std::unique_ptr<app::AuthStore> auth;
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
    const QUrl feed(service.baseUrl() + "/feed?t=" + QString::number(QDateTime::currentSecsSinceEpoch())
        + "&user=" + auth->machineIdentifier());
    EXPECT_EQ(feedTitle(await(fetch(session, feed)), clip), title);
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
