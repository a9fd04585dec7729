#include "generation_fixture.h"
#include "support/coro.h"
#include "support/log_capture.h"

namespace quorvel::testing {
namespace {

namespace texts = app::texts;
const QString clip = QStringLiteral("https://cdn.example/c.mp4");

class ClipFollowUpTest : public GenerationFixture {
protected:
    void SetUp() override
    {
        server.always("/generate", FaultReply::json(200, R"({"job":"j"})"));
        server.always(
            "/jobs/j", FaultReply::json(200, R"({"done":true,"ok":true,"clip":"https://cdn.example/c.mp4"})"));
        ASSERT_TRUE(store.start(recipe()));
        ASSERT_TRUE(finishes(store));
        ASSERT_EQ(store.clipURL(), clip);
        server.requests.clear();
    }
    QJsonObject body(const QByteArray& path) const
    {
        const auto requests = server.requestsTo(path);
        return requests.empty() ? QJsonObject() : QJsonDocument::fromJson(requests.back().body).object();
    }
};

TEST_F(ClipFollowUpTest, ATitleOfOnlyWhiteSpaceSendsNothing)
{
    await(store.saveTitle(QStringLiteral("  \n\t ")));
    EXPECT_TRUE(server.requests.empty());
    EXPECT_FALSE(store.titleSaved());
    EXPECT_EQ(store.error(), std::nullopt);
}

TEST_F(ClipFollowUpTest, SavingATitleSendsItTrimmedAndReportsTheOutcome)
{
    struct Row {
        const char* name;
        FaultReply reply;
        bool saved;
        std::optional<QString> error;
    } rows[] = {
        { "refused", FaultReply::json(500, "{}"), false, texts::titleNotSaved },
        { "201 is not 200", FaultReply::json(201, "{}"), false, texts::titleNotSaved },
        { "saved", FaultReply::json(200, "{}"), true, std::nullopt },
        { "cut off", FaultReply::cut("{\"ok\":true,\"padding\":\"xxxxxxxx\"}"), false, texts::titleNotSaved },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.reply("/title", row.reply);
        await(store.saveTitle(QStringLiteral("  Fog at dawn \n")));
        EXPECT_EQ(store.titleSaved(), row.saved);
        EXPECT_EQ(store.error(), row.error);
        const RecordedRequest request = server.requestsTo("/title").back();
        EXPECT_EQ(request.method, "PATCH");
        EXPECT_EQ(request.header("Authorization"), "Bearer tok");
        EXPECT_EQ(
            body("/title"), QJsonObject({ { "url", clip }, { "title", "Fog at dawn" }, { "user", recipe().userID } }));
    }
}

TEST_F(ClipFollowUpTest, PublishingMarksTheTitleSavedAndSendsAnEmptyTitleToo)
{
    server.reply("/publish", FaultReply::json(200, "{}"));
    await(store.publish(QString()));
    EXPECT_TRUE(store.published());
    EXPECT_TRUE(store.titleSaved());
    EXPECT_EQ(store.error(), std::nullopt);
    EXPECT_EQ(body("/publish"), QJsonObject({ { "url", clip }, { "title", "" }, { "user", recipe().userID } }));
}

TEST_F(ClipFollowUpTest, AFailedPublishLogsTheActionAndShowsItsText)
{
    LogCapture log;
    server.always("/publish", FaultReply::json(401, "{}"));
    server.always("/enroll", FaultReply::json(500, "{}"));
    await(store.publish(QStringLiteral("Fog")));
    EXPECT_FALSE(store.published());
    EXPECT_FALSE(store.titleSaved());
    EXPECT_EQ(store.error(), texts::notPublished);
    EXPECT_TRUE(log.contains(QStringLiteral("publish update failed: ") + texts::cannotEnroll));
}

TEST_F(ClipFollowUpTest, AnAnswerForAClipThatIsNoLongerCurrentIsDropped)
{
    server.reply("/title", FaultReply::later(100, 500, "{}"));
    QCoro::Task<> saving = store.saveTitle(QStringLiteral("Old clip title"));
    // A new run replaces the clip while the title request is out.
    server.always("/generate", FaultReply::json(200, R"({"message":"No credits left"})"));
    ASSERT_TRUE(store.start(recipe(QStringLiteral("second"))));
    ASSERT_TRUE(finishes(store));
    await(std::move(saving));
    EXPECT_EQ(store.error(), "No credits left");
    EXPECT_FALSE(store.titleSaved());
}

} // namespace
} // namespace quorvel::testing
