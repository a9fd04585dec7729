// Both windows' models against the reference service: a clip generated, titled and published from
// the preview shows in the community feed with its title and handle; a checkout completed on the
// service's page shows on the next balance read.
#include "app/library/generation_preview_model.h"
#include "app/library/upgrade_model.h"
#include "app_client/service_session.h"
#include "preview_fixture.h"

namespace quorvel::testing {
namespace {

using AgainstService = ServiceSession;

TEST_F(AgainstService, AClipPublishedFromThePreviewPlaysInTheFeedWithItsTitleAndHandle)
{
    app::GenerationStore store(*auth, app::DebugSources { identity, secrets }, sleeper);
    PlayerMaker maker;
    library::GenerationPreviewModel model(store, maker.factory());
    model.appear();

    const QString clip = generate(store,
        { "tide pools glowing under a full moon", "watercolor", "orbit", "calm", true, "none", "@tidewatcher",
            auth->machineIdentifier() });
    ASSERT_TRUE(model.hasClip()) << store.error().value_or(QString()).toStdString();
    EXPECT_EQ(maker.made[0]->currentSource(), QUrl(clip));
    EXPECT_EQ(model.submission()->handle, "@tidewatcher");

    model.setTitle(QStringLiteral("Moon pools"));
    await(model.saveTitle());
    EXPECT_EQ(model.statusLine()->text, "Title saved");
    await(model.publish());
    EXPECT_EQ(model.statusLine()->text, "Added to the community feed");
    EXPECT_EQ(model.errorLine(), std::nullopt);

    const std::optional<QJsonObject> found = feedEntry(clip);
    ASSERT_TRUE(found) << "the feed does not list the clip";
    EXPECT_EQ((*found)["title"].toString(), "Moon pools");
    EXPECT_EQ((*found)["author"].toString(), "@tidewatcher");
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
