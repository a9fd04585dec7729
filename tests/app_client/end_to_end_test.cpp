// The whole road over real HTTP against the reference service: enrollment, balance, generation
// polled to its clip, title, publish, history, and the feed listing the clip.
#include "app/client/service_json.h"
#include "fixture.h"
#include "support/service_process.h"

#include <QCoroNetworkReply>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QNetworkReply>

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

bool listsClip(const QByteArray& body, const QString& clip)
{
    for (const QJsonValue& entry : app::json::object(body).value_or(QJsonObject()).value("videos").toArray())
        if (entry["url"].toString() == clip && entry["title"].toString() == "Harbor lights")
            return true;
    return false;
}

TEST(EndToEnd, FromEnrollmentToAClipTheFeedLists)
{
    ASSERT_TRUE(QFileInfo::exists(QUORVEL_BIN_DIR "/quorvel-service")) << "the reference service is not built";
    ServiceProcess service;
    ASSERT_TRUE(service.start()) << service.errorText().toStdString();

    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    app::AuthStore auth(session, secrets, identity, system, app::ServiceConfig { service.baseUrl() });
    ASSERT_TRUE(await(auth.ensureEnrolled()));
    const app::AuthorizedResult balance = await(auth.balance());
    ASSERT_EQ(balance.status(), 200) << balance.failure().value_or(QString()).toStdString();
    EXPECT_TRUE(app::json::integer(app::json::object(balance.body()).value_or(QJsonObject()), "credits"));

    const app::GenerationSubmission submission { "a harbor at night, lanterns swaying", "noir", "push-in", "dreamy",
        true, "none", "@harbor", auth.machineIdentifier() };
    ManualClock clock;
    ManualSleeper sleeper(clock);
    app::GenerationStore store(auth, app::DebugSources { identity, secrets }, sleeper);
    ASSERT_TRUE(store.start(submission));
    ASSERT_TRUE(finishes(store, 60000));
    ASSERT_FALSE(store.error()) << store.error()->toStdString();
    EXPECT_EQ(store.stage(), "Your wumble is ready");
    const QString clip = store.clipURL().value_or(QString());

    await(store.saveTitle("Harbor lights"));
    EXPECT_TRUE(store.titleSaved());
    await(store.publish("Harbor lights"));
    EXPECT_TRUE(store.published());
    EXPECT_EQ(store.error(), std::nullopt);

    EXPECT_TRUE(listsClip(await(auth.history()).body(), clip));
    const QUrl feed(service.baseUrl() + "/feed?t=" + QString::number(QDateTime::currentSecsSinceEpoch())
        + "&user=" + auth.machineIdentifier());
    EXPECT_TRUE(listsClip(await(fetch(session, feed)), clip));
}

} // namespace
} // namespace quorvel::testing
