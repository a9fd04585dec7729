// Both windows' models against the reference service: a clip generated, titled and published from
// the preview shows in the community feed with its title and handle; a checkout completed on the
// service's page shows on the next balance read.
#include "app/client/service_json.h"
#include "app/library/generation_preview_model.h"
#include "app/library/upgrade_model.h"
#include "preview_fixture.h"
#include "support/service_process.h"

#include <QCoroNetworkReply>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QNetworkReply>

namespace quorvel::testing {
namespace {

QCoro::Task<app::HttpResponse> fetch(QNetworkAccessManager& session, QUrl url, QByteArray form = {})
{
    QNetworkRequest request(url);
    request.setTransferTimeout(10000);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    std::unique_ptr<QNetworkReply> reply(form.isNull() ? session.get(request) : session.post(request, form));
    co_await qCoro(reply.get()).waitForFinished();
    co_return app::HttpResponse { reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
        reply->readAll() };
}

class AgainstService : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(QUORVEL_BIN_DIR "/quorvel-service")) << "the reference service is not built";
        ASSERT_TRUE(service.start()) << service.errorText().toStdString();
        auth = std::make_unique<app::AuthStore>(
            session, secrets, identity, system, app::ServiceConfig { service.baseUrl() });
        ASSERT_TRUE(await(auth->ensureEnrolled()));
    }

    ServiceProcess service;
    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    std::unique_ptr<app::AuthStore> auth;
};

TEST_F(AgainstService, AClipPublishedFromThePreviewPlaysInTheFeedWithItsTitleAndHandle)
{
    ManualClock clock;
    ManualSleeper sleeper(clock);
    app::GenerationStore store(*auth, app::DebugSources { identity, secrets }, sleeper);
    PlayerMaker maker;
    library::GenerationPreviewModel model(store, maker.factory());
    model.appear();

    const app::GenerationSubmission submission { "tide pools glowing under a full moon", "watercolor", "orbit", "calm",
        true, "none", "@tidewatcher", auth->machineIdentifier() };
    ASSERT_TRUE(store.start(submission));
    ASSERT_TRUE(finishes(store, 60000));
    ASSERT_TRUE(model.hasClip()) << store.error().value_or(QString()).toStdString();
    const QString clip = *store.clipURL();
    EXPECT_EQ(maker.made[0]->currentSource(), QUrl(clip));
    EXPECT_EQ(model.submission()->handle, "@tidewatcher");

    model.setTitle(QStringLiteral("Moon pools"));
    await(model.saveTitle());
    EXPECT_EQ(model.statusLine()->text, "Title saved");
    await(model.publish());
    EXPECT_EQ(model.statusLine()->text, "Added to the community feed");
    EXPECT_EQ(model.errorLine(), std::nullopt);

    const QUrl feed(service.baseUrl() + "/feed?t=" + QString::number(QDateTime::currentSecsSinceEpoch())
        + "&user=" + auth->machineIdentifier());
    const app::HttpResponse reply = await(fetch(session, feed));
    ASSERT_EQ(reply.status, 200);
    const QJsonArray videos = app::json::object(reply.body).value_or(QJsonObject()).value("videos").toArray();
    const auto entry
        = std::find_if(videos.begin(), videos.end(), [&](const QJsonValue& v) { return v["url"] == clip; });
    ASSERT_NE(entry, videos.end()) << "the feed does not list the clip";
    const QJsonObject found = entry->toObject();
    EXPECT_EQ(found["title"].toString(), "Moon pools");
    EXPECT_EQ(found["author"].toString(), "@tidewatcher");
}

TEST_F(AgainstService, ACheckoutOnTheServicePageShowsOnTheNextBalanceRead)
{
    RecordingWorkspace workspace;
    library::UpgradeModel model(*auth, workspace);
    await(model.loadBalance());
    ASSERT_TRUE(model.balanceLoaded());
    EXPECT_EQ(model.balanceLine()->text, "Your free Lite generation is still unspent, and nothing expires it");

    ASSERT_TRUE(model.openCheckout(model.plans()[0].checkoutPage));
    const QUrl page = workspace.opened.value(0);
    const app::HttpResponse shown = await(fetch(session, page));
    ASSERT_EQ(shown.status, 200);
    EXPECT_TRUE(shown.body.contains(auth->machineIdentifier().toUtf8())) << "the page names this Mac";

    // What the page's button posts.
    const QByteArray form = "client_reference_id=" + QUrl::toPercentEncoding(auth->machineIdentifier());
    const app::HttpResponse subscribed = await(fetch(session, page.adjusted(QUrl::RemoveQuery), form));
    ASSERT_EQ(subscribed.status, 200) << subscribed.body.toStdString();

    await(model.loadBalance());
    EXPECT_EQ(model.balanceLine()->text, "8 wumble credits loaded");
    EXPECT_TRUE(model.paid());
}

} // namespace
} // namespace quorvel::testing
