// The preview window's model over loopback fault servers: what it shows as runs finish and
// restart, how it feeds its player, and what a refused or stalled title or publish leaves.
#include "app/library/generation_preview_model.h"
#include "preview_fixture.h"

#include <QSignalSpy>

namespace quorvel::testing {
namespace {

using library::SymbolLine;
const QString clip = QStringLiteral("https://cdn.example/clips/c1.mp4");

QByteArray doneWith(const QString& address)
{
    return R"({"done":true,"ok":true,"log":"animating...","clip":")" + address.toUtf8() + "\"}";
}

class PreviewTest : public ServiceTest {
protected:
    void SetUp() override { secrets.items.insert(apiTokenItem, "tok"); }
    // Runs a job to its end with `address` as its clip.
    void finishRun(const QString& address = clip)
    {
        server.serve("/generate", json(200, R"({"job":"j"})"));
        server.serve("/jobs/j", json(200, doneWith(address)));
        ASSERT_TRUE(store.start(recipe()));
        ASSERT_TRUE(finishes(store));
        ASSERT_EQ(store.clipURL(), address);
    }
    RecordingPlayer& player() { return *maker.made.at(0); }

    PlayerMaker maker;
};

TEST_F(PreviewTest, ShowsTheClipWhenARunFinishesAndTheEmptyLabelWhenANewOneStarts)
{
    library::GenerationPreviewModel model(store, maker.factory());
    ASSERT_EQ(maker.made.size(), 1) << "one player, made with the view";
    model.appear();
    EXPECT_FALSE(model.hasClip());
    EXPECT_FALSE(player().hasItem());

    QSignalSpy changed(&model, &library::GenerationPreviewModel::changed);
    finishRun();
    EXPECT_TRUE(model.hasClip()) << "the clip appears without reopening the window";
    EXPECT_GT(changed.size(), 0);
    EXPECT_EQ(player().items, QList<QUrl> { QUrl(clip) });
    EXPECT_FALSE(player().playing) << "nothing starts playback by itself";
    EXPECT_EQ(model.submission(), recipe());

    player().play();
    server.serve("/jobs/j", silent);
    ASSERT_TRUE(store.start(recipe(QStringLiteral("another"))));
    EXPECT_FALSE(model.hasClip());
    EXPECT_FALSE(player().playing) << "the old clip must not play on behind the empty label";
    EXPECT_FALSE(player().hasItem());
    store.cancel();
}

TEST_F(PreviewTest, FeedsThePlayerOnlyWhileShownAndPausesItWhenHidden)
{
    library::GenerationPreviewModel model(store, maker.factory());
    finishRun();
    EXPECT_TRUE(player().items.isEmpty()) << "a window not shown loads nothing";
    model.appear();
    EXPECT_EQ(player().items, QList<QUrl> { QUrl(clip) });
    player().play();
    model.disappear();
    EXPECT_FALSE(player().playing);

    const QString second = QStringLiteral("https://cdn.example/clips/c2.mp4");
    finishRun(second);
    EXPECT_EQ(player().items.size(), 1) << "a clip that changes while hidden waits for the window";
    model.appear();
    EXPECT_EQ(player().currentSource(), QUrl(second));
    model.appear();
    EXPECT_EQ(player().items.size(), 3) << "every showing starts with a fresh item";
}

TEST_F(PreviewTest, AnAddressThatDoesNotParseLeavesThePlayerEmpty)
{
    library::GenerationPreviewModel model(store, maker.factory());
    model.appear();
    finishRun();
    for (const QString& broken : { QStringLiteral("https://cdn example/c 2.mp4"), QStringLiteral("c2.mp4") }) {
        SCOPED_TRACE(broken.toStdString());
        finishRun(broken);
        EXPECT_TRUE(model.hasClip()) << "the finished run is still shown";
        EXPECT_FALSE(player().hasItem()) << "the previous clip must not pass for this one";
    }
    EXPECT_EQ(library::playableAddress(clip), QUrl(clip));
    EXPECT_EQ(library::playableAddress(QStringLiteral("file:///tmp/c.mp4")), QUrl("file:///tmp/c.mp4"));
}

TEST_F(PreviewTest, SavedAndPublishedStatesShowOnlyWhatTheServiceAccepted)
{
    library::GenerationPreviewModel model(store, maker.factory());
    finishRun();
    EXPECT_TRUE(model.showsPublishButton());
    EXPECT_EQ(model.statusLine(), std::nullopt);

    const SymbolLine saved { "Title saved", "checkmark.circle.fill" };
    const SymbolLine published { "Added to the community feed", "checkmark.circle.fill" };
    server.serve("/title", json(200, "{}"));
    model.setTitle(QStringLiteral("  Fog 🌫 ضباب  "));
    await(model.saveTitle());
    EXPECT_EQ(model.statusLine(), saved);
    EXPECT_EQ(bodyOf(server.requestsTo("/title").last())["title"].toString(), QStringLiteral("Fog 🌫 ضباب"));

    model.setTitle(QString());
    server.serve("/publish", json(200, "{}"));
    await(model.publish());
    EXPECT_EQ(bodyOf(server.requestsTo("/publish").last())["title"].toString(), QString()) << "published untitled";
    EXPECT_EQ(model.statusLine(), published);
    EXPECT_FALSE(model.showsPublishButton());
    EXPECT_EQ(model.errorLine(), std::nullopt);
}

TEST_F(PreviewTest, ARefusedOrStalledRequestShowsItsTextKeepsTheTitleAndPublishesNothing)
{
    // The follow-ups give up after this long instead of the usual minute.
    app::ServiceConfig quick = config();
    quick.requestTimeout = std::chrono::milliseconds(150);
    app::AuthStore quickAuth(session, secrets, identity, system, quick);
    app::GenerationStore generation(quickAuth, debugSources(), sleeper);
    library::GenerationPreviewModel model(generation, maker.factory());
    server.serve("/generate", json(200, R"({"job":"j"})"));
    server.serve("/jobs/j", json(200, doneWith(clip)));
    ASSERT_TRUE(generation.start(recipe()));
    ASSERT_TRUE(finishes(generation));

    const QString typed = QStringLiteral("A title long enough to matter ").repeated(8);
    model.setTitle(typed);
    const SymbolLine notPublished { texts::notPublished, "exclamationmark.triangle.fill" };
    const SymbolLine notSaved { texts::titleNotSaved, "exclamationmark.triangle.fill" };
    struct Row {
        const char* name;
        Reply reply;
    };
    const Row rows[] = {
        { "refused", json(422, R"({"error":"title_rejected","message":"Not all-ages"})") },
        { "not found", json(404, "{}") },
        { "stalled past the timeout", silent },
        { "cut off", cut(R"({"ok":true,"padding":"xxxxxxxxxxxx"})") },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.serve("/publish", row.reply);
        await(model.publish());
        EXPECT_EQ(model.errorLine(), notPublished);
        EXPECT_TRUE(model.showsPublishButton());
        EXPECT_EQ(model.statusLine(), std::nullopt);
        EXPECT_FALSE(generation.published());
        EXPECT_EQ(model.title(), typed);

        server.serve("/title", row.reply);
        await(model.saveTitle());
        EXPECT_EQ(model.errorLine(), notSaved);
        EXPECT_EQ(model.statusLine(), std::nullopt);
        EXPECT_EQ(model.title(), typed);
    }

    server.serve("/publish", json(200, "{}"));
    await(model.publish());
    EXPECT_EQ(model.errorLine(), std::nullopt) << "a later success clears the failure";
    EXPECT_EQ(model.statusLine()->text, "Added to the community feed");
}

} // namespace
} // namespace quorvel::testing
