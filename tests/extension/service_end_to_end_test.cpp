// The player against the real reference service: a clip is made and published there, then the
// feed plays it, caches it, survives the service going away, and a clean cache falls back to the
// built-in clip.
#include "extension/quorvel_playback.h"
#include "extension_fixture.h"

#include "support/coro.h"
#include "support/log_capture.h"
#include "support/service_process.h"

#include <gtest/gtest.h>

#include <QCoroNetworkReply>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTest>

namespace quorvel::extension {
namespace {

using testing::FakeMediaPlayer;

constexpr const char* kMachine = "E2E-MACHINE";

QCoro::Task<QJsonObject> call(
    QNetworkAccessManager& network, QByteArray method, QUrl url, QString token, QJsonObject body = {})
{
    QNetworkRequest request(url);
    request.setTransferTimeout(20000);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("X-Quorvel-Build", "1");
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    const QByteArray bytes = body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        network.sendCustomRequest(request, method, bytes), [](QNetworkReply* r) { r->deleteLater(); });
    co_await reply.get();
    co_return QJsonDocument::fromJson(reply->readAll()).object();
}

// Makes one clip on the service and adds it to the community feed; its address, empty on failure.
QString publishClip(QNetworkAccessManager& network, const QString& base)
{
    const QString token = testing::await(
        call(network, "POST", QUrl(base + "/enroll"), {}, QJsonObject { { "machine", kMachine } }))["token"]
                              .toString();
    const QJsonObject recipe { { "prompt", "a quiet harbour at dawn" }, { "style", "cinematic" }, { "motion", "drift" },
        { "vibe", "calm" }, { "lite", true }, { "soundscape", "none" }, { "handle", "ada" }, { "user", kMachine },
        { "debug", false } };
    const QString job
        = testing::await(call(network, "POST", QUrl(base + "/generate"), token, recipe))["job"].toString();
    const QJsonObject status = testing::await(call(network, "GET", QUrl(base + "/jobs/" + job), token));
    const QString clip = status["clip"].toString();
    const QJsonObject publish { { "url", clip }, { "title", "Harbour" }, { "user", kMachine } };
    if (!testing::await(call(network, "PATCH", QUrl(base + "/publish"), token, publish))["ok"].toBool())
        return {};
    return clip;
}

TEST(ServiceEndToEnd, PlaysCachesAndFallsBackAsTheServiceComesAndGoes)
{
    testing::ServiceProcess service;
    ASSERT_TRUE(service.start()) << service.errorText().toStdString();
    testing::ExtensionFixture fixture;
    fixture.environment->serviceBaseUrl = service.baseUrl();
    const QString clip = publishClip(*fixture.environment->network, service.baseUrl());
    ASSERT_FALSE(clip.isEmpty());
    testing::LogCapture log;

    auto play = [&] {
        auto player = std::make_unique<FakeMediaPlayer>();
        auto* raw = player.get();
        auto playback = std::make_unique<QuorvelPlayback>(
            fixture.environment, std::move(player), false, std::make_shared<PreferenceRetentionStorage>(nullptr));
        testing::await(playback->loadFeed());
        return std::make_pair(std::move(playback), raw);
    };

    // Online: the published clip streams first and lands in the cache.
    auto [online, onlinePlayer] = play();
    EXPECT_EQ(onlinePlayer->currentSource(), QUrl(clip));
    EXPECT_EQ(online->title(), "Harbour");
    EXPECT_TRUE(online->caption().startsWith("ada  \u00B7  "));
    const Video published = online->playlist().front();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return fixture.environment->clipCache->cachedFileURL(published).has_value(); }, 20000));
    EXPECT_TRUE(log.contains("manifest: 1 videos"));
    EXPECT_TRUE(log.contains("cached " + cacheFileName(published.url)));

    // The service goes away: the last good feed plays from the cache.
    service.stop();
    auto [offline, offlinePlayer] = play();
    EXPECT_TRUE(log.contains("using last-good feed (1 videos)"));
    EXPECT_EQ(offlinePlayer->currentSource(), fixture.environment->clipCache->cachedFileURL(published));

    // A clean cache and no service: the built-in clip.
    QDir(fixture.environment->cacheDirectory).removeRecursively();
    auto [clean, cleanPlayer] = play();
    EXPECT_EQ(cleanPlayer->currentSource(), fixture.environment->sampleClipURL);
    EXPECT_EQ(clean->caption(), "Quorvel");
}

} // namespace
} // namespace quorvel::extension
