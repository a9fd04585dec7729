#include "library_fixture.h"

#include <QSignalSpy>
#include <QTest>

namespace quorvel::testing {
namespace {

using library::LibraryItem;
using library::UpdateAction;
namespace texts = library::texts;

const QString kA = QStringLiteral("https://cdn.example/a.mp4");
const QString kB = QStringLiteral("https://cdn.example/b.mp4");

using LibraryViewTest = LibraryFixture;

TEST_F(LibraryViewTest, LoadAsksForThisMachinesHistoryWithTheToken)
{
    server.serve("/history", reply(200, history({ entry(kA, "one"), entry(kB, "two", true) })));
    EXPECT_FALSE(view.loaded());
    const auto items = loaded(view);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].url, kA);
    EXPECT_TRUE(items[1].approved);
    EXPECT_TRUE(view.loaded());
    EXPECT_EQ(view.error(), std::nullopt);
    const ReceivedRequest request = server.requestsTo("/history").value(0);
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/history?user=" + identity.identifier);
    EXPECT_EQ(request.headers.value("authorization"), "Bearer tok");
}

TEST_F(LibraryViewTest, EntriesWithoutUrlsLeaveAnEmptyListAndNoError)
{
    server.serve("/history", reply(200, R"({"videos":[{"title":"x"},{"url":""},{"url":3}]})"));
    EXPECT_TRUE(loaded(view).empty());
    EXPECT_TRUE(view.loaded());
    EXPECT_EQ(view.error(), std::nullopt);
}

TEST_F(LibraryViewTest, BadRepliesKeepTheItemsAndSayWhy)
{
    struct Row {
        const char* name;
        CannedReply reply;
        const char* logLine;
    };
    const char* unexpected = "History load returned an unexpected response.";
    const Row rows[] = {
        { "status 500", reply(500, history({ entry(kB) })), unexpected },
        { "status 201", reply(201, history({ entry(kB) })), unexpected },
        { "not JSON", reply(200, "<html>"), unexpected },
        { "an array", reply(200, "[]"), unexpected },
        { "no videos", reply(200, "{}"), unexpected },
        { "videos not an array", reply(200, R"({"videos":{"url":"x"}})"), unexpected },
        { "an element not an object", reply(200, R"({"videos":[{"url":"x"},"y"]})"), unexpected },
        { "cut off", reply(200, history({ entry(kB) }), CannedReply::Mode::CutMidBody),
            "History load failed: Couldn't reach Quorvel. Please try again." },
        { "no answer", reply(200, {}, CannedReply::Mode::Stall),
            "History load failed: Couldn't reach Quorvel. Please try again." },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.serve("/history", reply(200, history({ entry(kA, "kept") })));
        ASSERT_EQ(loaded(view).size(), 1u);
        EXPECT_EQ(view.error(), std::nullopt) << "a successful load clears the last error";
        server.serve("/history", row.reply);
        LogCapture log;
        const auto items = loaded(view);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].title, "kept");
        EXPECT_TRUE(view.loaded());
        EXPECT_EQ(view.error(), texts::loadFailed);
        EXPECT_TRUE(log.contains(row.logLine)) << log.messages().join('\n').toStdString();
    }
}

TEST_F(LibraryViewTest, AnOlderLoadNeverOverwritesANewerOne)
{
    server.queue("/history", CannedReply { 200, {}, history({ entry(kA, "old") }), CannedReply::Mode::Delayed, 150 });
    server.serve("/history", reply(200, history({ entry(kA, "new") })));
    QCoro::Task<> slow = view.loadHistory();
    QTest::qWait(30);
    await(view.loadHistory());
    EXPECT_EQ(view.items().value(0).title, "new");
    await(std::move(slow));
    EXPECT_EQ(view.items().value(0).title, "new") << "a slow, stale answer replaced the newer list";
}

TEST_F(LibraryViewTest, TitlesGoOutExactlyAsTyped)
{
    const QString titles[] = {
        QString(),
        QStringLiteral("  spaced  "),
        QString::fromUtf8("שקיעה מעל הנמל"),
        QString::fromUtf8("🌊🎬👩‍👩‍👧"),
        QString(5000, QLatin1Char('x')),
        QStringLiteral("<b>bold</b> & \"quoted\""),
    };
    server.serve("/history", reply(200, history({ entry(kA) })));
    server.serve("/title", reply(200, R"({"ok":true})"));
    loaded(view);
    for (const QString& title : titles) {
        server.clearRequests();
        view.setTitle(kA, title);
        await(view.saveTitle(kA));
        const ReceivedRequest request = server.requestsTo("/title").value(0);
        EXPECT_EQ(request.method, "PATCH");
        EXPECT_EQ(request.headers.value("content-type"), "application/json");
        const QJsonObject body = bodyOf(request);
        EXPECT_EQ(body.value("title").toString(), title);
        EXPECT_TRUE(body.value("title").isString()) << "an empty title must still be sent";
        EXPECT_EQ(body.value("url").toString(), kA);
        EXPECT_EQ(body.value("user").toString(), identity.identifier);
        EXPECT_EQ(view.savedUrl(), kA);
    }
}

TEST_F(LibraryViewTest, RefusedOrFailedUpdatesKeepTheTypedTitleAndNeverPublish)
{
    struct Row {
        const char* name;
        UpdateAction action;
        CannedReply reply;
        QString logLine;
    };
    const QString unreachable = app::texts::cannotReach;
    const Row rows[] = {
        { "publish refused", UpdateAction::Publish, reply(400, R"({"error":"no"})"), "publish returned status 400." },
        { "publish 500", UpdateAction::Publish, reply(500, ""), "publish returned status 500." },
        { "publish times out", UpdateAction::Publish, reply(200, {}, CannedReply::Mode::Stall),
            "publish failed: " + unreachable },
        { "publish cut off", UpdateAction::Publish, reply(200, "{\"ok\":true}", CannedReply::Mode::CutMidBody),
            "publish failed: " + unreachable },
        { "title refused", UpdateAction::Title, reply(404, ""), "title returned status 404." },
        { "title times out", UpdateAction::Title, reply(200, {}, CannedReply::Mode::Stall),
            "title failed: " + unreachable },
    };
    const QString typed = QString::fromUtf8("Nachtfähre ⛴ עם ירח");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.serve("/history", reply(200, history({ entry(kA, "before") })));
        loaded(view);
        server.serve("/title", row.reply);
        server.serve("/publish", row.reply);
        view.setTitle(kA, typed);
        LogCapture log;
        if (row.action == UpdateAction::Publish)
            await(view.publish(kA));
        else
            await(view.saveTitle(kA));
        EXPECT_EQ(view.error(), row.action == UpdateAction::Publish ? texts::publishFailed : texts::titleFailed);
        EXPECT_EQ(view.item(kA)->title, typed);
        EXPECT_FALSE(view.item(kA)->approved);
        EXPECT_EQ(view.savedUrl(), std::nullopt);
        EXPECT_TRUE(log.contains(row.logLine)) << log.messages().join('\n').toStdString();
    }
    server.serve("/title", reply(200, "{}"));
    await(view.saveTitle(kA));
    EXPECT_EQ(view.error(), std::nullopt) << "a successful update clears the last error";
}

TEST_F(LibraryViewTest, PublishMarksOnlyTheListedItem)
{
    server.serve("/history", reply(200, history({ entry(kA), entry(kB) })));
    server.serve("/publish", reply(200, "{}"));
    server.serve("/title", reply(200, "{}"));
    loaded(view);
    view.setTitle(kB, "typed");
    await(view.publish(kB));
    EXPECT_TRUE(view.item(kB)->approved);
    EXPECT_FALSE(view.item(kA)->approved);
    EXPECT_EQ(view.savedUrl(), std::nullopt) << "a publish of a listed item is not a title save";
    EXPECT_EQ(bodyOf(server.requestsTo("/publish").value(0)).value("title").toString(), "typed");

    // An item no longer listed (a refresh dropped it meanwhile) counts as a saved title.
    LibraryItem gone;
    gone.url = "https://cdn.example/gone.mp4";
    await(view.updateItem(UpdateAction::Publish, gone, texts::publishFailed));
    EXPECT_EQ(view.savedUrl(), gone.url);
    EXPECT_EQ(view.error(), std::nullopt);
}

TEST_F(LibraryViewTest, PublishedStateFollowsTheServiceAfterAReload)
{
    server.serve("/history", reply(200, history({ entry(kA) })));
    server.serve("/publish", reply(200, "{}"));
    loaded(view);
    await(view.publish(kA));
    ASSERT_TRUE(view.item(kA)->approved);
    loaded(view);
    EXPECT_FALSE(view.item(kA)->approved) << "the service did not report it published";
}

TEST_F(LibraryViewTest, TwoUpdatesAtOnceEachWriteTheirOwnOutcome)
{
    server.serve("/history", reply(200, history({ entry(kA), entry(kB) })));
    server.serve("/publish", CannedReply { 200, {}, "{}", CannedReply::Mode::Delayed, 80 });
    server.serve("/title", reply(200, "{}"));
    loaded(view);
    QCoro::Task<> publishing = view.publish(kA);
    await(view.saveTitle(kB));
    await(std::move(publishing));
    EXPECT_TRUE(view.item(kA)->approved);
    EXPECT_EQ(view.savedUrl(), kB);
}

TEST_F(LibraryViewTest, AViewClosedDuringALoadIsLeftAlone)
{
    server.serve("/history", CannedReply { 200, {}, history({ entry(kA) }), CannedReply::Mode::Delayed, 50 });
    auto doomed = std::make_unique<library::LibraryView>(auth);
    QCoro::Task<> load = doomed->loadHistory();
    doomed.reset();
    await(std::move(load)); // must not touch the deleted view
    EXPECT_EQ(server.requestsTo("/history").size(), 1);
}

} // namespace
} // namespace quorvel::testing
