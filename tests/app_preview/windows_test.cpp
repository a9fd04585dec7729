// One offscreen rendering of each window, checked for its main controls and their wiring.
#include "app/library/generation_preview_view.h"
#include "app/library/generation_recipe_view.h"
#include "app/library/player_view.h"
#include "app/library/thumbnail_cache.h"
#include "app/library/upgrade_view.h"
#include "app_library/fake_frame_grabber.h"
#include "preview_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

namespace quorvel::testing {
namespace {

QStringList labelTexts(const QWidget& root)
{
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>())
        if (label->isVisibleTo(&root) && !label->text().isEmpty())
            texts << label->text();
    return texts;
}

class WindowsTest : public ServiceTest {
protected:
    void SetUp() override { secrets.items.insert(apiTokenItem, "tok"); }
    RecordingWorkspace workspace;
};

TEST_F(WindowsTest, UpgradeWindowShowsBalancePlansAndOpensCheckout)
{
    server.serve("/balance", json(200, R"({"credits":1,"paid":false})"));
    library::UpgradeView view(new library::UpgradeModel(auth, workspace));
    view.resize(580, 560);
    EXPECT_FALSE(view.balanceText()->isVisibleTo(&view)) << "no line before a balance arrives";
    view.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.model().balanceLoaded(); }, 5000));
    EXPECT_EQ(server.requestsTo("/balance").size(), 1);

    const QStringList texts = labelTexts(*view.widget());
    for (const char* expected :
        { "More wumble. Still the good kind.", "Your free Lite generation is still unspent, and nothing expires it",
            "Main character of the feed", "Write the scene or roll the dice: 18 styles, 11 camera moves, 9 vibes",
            "$1.99", "/year", "BEST VALUE · SAVE $3.89",
            "Both plans: 8 wumble credits every month · Secure checkout via Stripe · Cancel anytime\n"
            "The community feed stays free forever, subscription or not." })
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;

    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&view, &activate);
    QTest::qWait(20);
    EXPECT_EQ(server.requestsTo("/balance").size(), 1) << "coming back to the window alone reads nothing";

    EXPECT_EQ(view.planButton(0)->text(), "Go monthly");
    EXPECT_EQ(view.planButton(1)->text(), "Go yearly");
    view.planButton(0)->click();
    ASSERT_EQ(workspace.opened.size(), 1);
    EXPECT_EQ(workspace.opened[0].path(), "/checkout/monthly");
    EXPECT_EQ(workspace.opened[0].query(), "client_reference_id=" + identity.identifier);
    server.serve("/balance", json(200, R"({"credits":8,"paid":true})"));
    QApplication::sendEvent(&view, &activate);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.balanceText()->text() == "8 wumble credits loaded"; }, 5000))
        << "coming back from the checkout page reads the balance again";
}

TEST_F(WindowsTest, PreviewWindowPlaysTheClipBesideItsRecipeAndKeepsTheTitleOnFailure)
{
    PlayerMaker maker;
    library::GenerationPreviewView view(new library::GenerationPreviewModel(store, maker.factory()));
    view.resize(720, 680);
    view.show();
    EXPECT_FALSE(view.showsClip());
    EXPECT_TRUE(labelTexts(view).contains("No wumble to preview"));

    server.serve("/generate", json(200, R"({"job":"j"})"));
    server.serve("/jobs/j", json(200, R"({"done":true,"ok":true,"clip":"https://cdn.example/c.mp4"})"));
    ASSERT_TRUE(store.start(recipe()));
    ASSERT_TRUE(finishes(store));
    ASSERT_TRUE(view.showsClip());
    EXPECT_EQ(view.playerView()->player(), maker.made[0]);
    EXPECT_EQ(maker.made[0]->currentSource(), QUrl("https://cdn.example/c.mp4"));
    const QStringList texts = labelTexts(view);
    for (const char* expected : { "Your wumble is ready", "Saved to Your Wumbles",
             "Titles are optional and checked for all-ages safety when saved.", "a lighthouse in fog",
             "Lite · 1 wumble credit", "Silent", "@fog" })
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_EQ(view.titleField()->placeholderText(), "Optional title");
    EXPECT_EQ(view.saveButton()->text(), "Save Title");
    EXPECT_EQ(view.publishButton()->text(), "Add to Community");
    EXPECT_FALSE(view.statusText()->isVisibleTo(&view));
    EXPECT_FALSE(view.errorText()->isVisibleTo(&view));

    QTest::keyClicks(view.titleField(), QStringLiteral("Fog horn"));
    server.serve("/publish", json(500, "{}"));
    view.publishButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.errorText()->isVisibleTo(&view); }, 5000));
    EXPECT_EQ(view.errorText()->text(), "Couldn't add this wumble to the community.");
    EXPECT_EQ(view.titleField()->text(), "Fog horn");
    EXPECT_TRUE(view.publishButton()->isVisibleTo(&view));
    EXPECT_FALSE(view.statusText()->isVisibleTo(&view));

    server.serve("/publish", json(200, "{}"));
    view.publishButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.statusText()->isVisibleTo(&view); }, 5000));
    EXPECT_EQ(view.statusText()->text(), "Added to the community feed");
    EXPECT_EQ(bodyOf(server.requestsTo("/publish").last())["title"].toString(), "Fog horn");
    EXPECT_FALSE(view.publishButton()->isVisibleTo(&view));
    EXPECT_FALSE(view.errorText()->isVisibleTo(&view));

    maker.made[0]->play();
    view.hide();
    EXPECT_FALSE(maker.made[0]->playing) << "a hidden window pauses its clip";
}

TEST_F(WindowsTest, PreviewWindowShowsEachClipsFirstFrameAndLengthWithoutPlaying)
{
    PlayerMaker maker;
    QTemporaryDir folder;
    auto grabber = std::make_shared<CountingFrameGrabber>();
    library::ThumbnailCache posters(grabber, folder.path());
    library::GenerationPreviewView view(new library::GenerationPreviewModel(store, maker.factory()), &posters);
    view.show();
    const auto* time = view.playerView()->findChild<QLabel*>();
    for (const char* clip : { "https://cdn.example/one.mp4", "https://cdn.example/two.mp4" }) {
        server.serve("/generate", json(200, R"({"job":"j"})"));
        server.serve("/jobs/j", json(200, QByteArray(R"({"done":true,"ok":true,"clip":")") + clip + R"("})"));
        ASSERT_TRUE(store.start(recipe()));
        ASSERT_TRUE(finishes(store));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.playerView()->displayedImage().isNull(); }, 2000)) << clip;
        EXPECT_EQ(view.playerView()->displayedImage(), posters.cached(QUrl(clip))) << "the poster of another clip";
        EXPECT_EQ(grabber->grabbed.last(), clip);
        EXPECT_EQ(time->text(), "0:00 / 0:03");
        EXPECT_FALSE(maker.made[0]->playing);
    }
    view.hide();
    view.show();
    EXPECT_EQ(grabber->decodes, 2) << "showing the window again decoded its clip again";
}

} // namespace
} // namespace quorvel::testing
