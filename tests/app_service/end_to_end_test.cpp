// The whole road over real HTTP against the reference service: enrollment, balance, pre-check,
// generation polled to its clip, title, publish, history, and the feed listing the clip.
#include "app/service/auth_store.h"
#include "app/service/generation_store.h"
#include "app/service/service_json.h"
#include "fakes.h"
#include "support/coro.h"
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
#include <QTimer>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

QString serviceBinary() { return QStringLiteral(QUORVEL_BIN_DIR "/quorvel-service"); }

bool finishes(app::GenerationStore& store)
{
    if (!store.isRunning())
        return true;
    QEventLoop loop;
    QObject::connect(&store, &app::GenerationStore::isRunningChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return !store.isRunning();
}

QCoro::Task<QByteArray> fetch(QNetworkAccessManager& session, QUrl url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(10000);
    QNetworkReply* reply = session.get(request);
    co_await qCoro(reply).waitForFinished();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    co_return body;
}

bool listsClip(const QJsonObject& object, const QString& clip, const QString& title)
{
    for (const QJsonValue& entry : object.value("videos").toArray()) {
        const QJsonObject video = entry.toObject();
        if (video.value("url").toString() == clip && video.value("title").toString() == title)
            return true;
    }
    return false;
}

TEST(EndToEnd, FromEnrollmentToAClipTheFeedLists)
{
    if (!QFileInfo::exists(serviceBinary()))
        GTEST_SKIP() << "the reference service is not built: " << serviceBinary().toStdString();
    ServiceProcess service;
    ASSERT_TRUE(service.start()) << service.errorText().toStdString();

    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    app::ServiceConfig config;
    config.baseUrl = service.baseUrl();
    app::AuthStore auth(session, secrets, identity, system, config);

    ASSERT_TRUE(await(auth.ensureEnrolled()));
    EXPECT_EQ(auth.enrollmentError(), std::nullopt);

    const app::AuthorizedResult balance = await(auth.balance());
    ASSERT_EQ(balance.status(), 200) << balance.failure().value_or(QString()).toStdString();
    const auto balanceReply = app::json::object(balance.body());
    ASSERT_TRUE(balanceReply);
    EXPECT_TRUE(app::json::integer(*balanceReply, "credits").has_value());

    const app::PromptCheckRequest check { "a harbor at night, lanterns swaying", "noir", "push-in", "dreamy",
        auth.machineIdentifier() };
    EXPECT_NE(await(auth.vetPrompt(check)).kind, app::PromptCheckResult::Kind::rejected);

    ManualClock clock;
    ManualSleeper sleeper(clock);
    app::GenerationStore store(auth, app::DebugSources { identity, secrets }, sleeper);
    app::GenerationSubmission submission;
    submission.prompt = check.prompt;
    submission.style = check.style;
    submission.motion = check.motion;
    submission.vibe = check.vibe;
    submission.lite = true;
    submission.handle = "@harbor";
    submission.userID = auth.machineIdentifier();
    ASSERT_TRUE(store.start(submission));
    ASSERT_TRUE(finishes(store));
    ASSERT_FALSE(store.error()) << store.error()->toStdString();
    EXPECT_EQ(store.stage(), "Your wumble is ready");
    ASSERT_TRUE(store.clipURL());
    const QString clip = *store.clipURL();

    await(store.saveTitle("Harbor lights"));
    EXPECT_TRUE(store.titleSaved());
    await(store.publish("Harbor lights"));
    EXPECT_TRUE(store.published());
    EXPECT_EQ(store.error(), std::nullopt);

    const app::AuthorizedResult history = await(auth.history());
    ASSERT_EQ(history.status(), 200);
    const auto historyReply = app::json::object(history.body());
    ASSERT_TRUE(historyReply);
    EXPECT_TRUE(listsClip(*historyReply, clip, "Harbor lights")) << history.body().toStdString();

    const QUrl feedUrl(service.baseUrl() + "/feed?t=" + QString::number(QDateTime::currentSecsSinceEpoch())
        + "&user=" + auth.machineIdentifier());
    const QByteArray feed = await(fetch(session, feedUrl));
    const auto manifest = app::json::object(feed);
    ASSERT_TRUE(manifest) << feed.toStdString();
    EXPECT_TRUE(listsClip(*manifest, clip, "Harbor lights")) << feed.toStdString();
}

} // namespace
} // namespace quorvel::testing
