#include "fixture.h"
#include "support/prompt_boundaries.h"

#include <coroutine>
#include <utility>
#include <vector>

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;
const QByteArray doneWithClip = R"({"done":true,"ok":true,"clip":"https://cdn.example/c.mp4","log":"animating..."})";

class GenerationTest : public ServiceTest {
protected:
    void SetUp() override { secrets.items.insert(apiTokenItem, "tok"); }
    // Runs a job whose polls get `replies` in order, the last one repeating.
    void runJob(const QList<Reply>& replies)
    {
        server.clearRequests();
        for (const Reply& reply : replies.mid(0, replies.size() - 1))
            server.queue("/jobs/j", reply);
        server.serve("/jobs/j", replies.last());
        server.serve("/generate", json(200, R"({"job":"j"})"));
        ASSERT_TRUE(store.start(recipe()));
        ASSERT_TRUE(finishes(store, 60000));
    }
    qsizetype polls() const { return server.requestsTo("/jobs/j").size(); }
};

TEST_F(GenerationTest, StartRefusesWhatCannotBeSentCountingCharactersAsTheUserDoes)
{
    std::vector<PromptBoundary> rows = promptBoundaries();
    rows.push_back({ "blank", QStringLiteral(" \n\t \r\n "), false });
    server.serve("/generate", json(200, R"({"message":"stop here"})"));
    for (const PromptBoundary& row : rows) {
        SCOPED_TRACE(row.name);
        server.clearRequests();
        EXPECT_EQ(store.start(recipe(row.prompt)), row.accepted);
        ASSERT_TRUE(finishes(store));
        const QString refusal = row.prompt.trimmed().isEmpty() ? texts::describeWumble
            : row.tooLarge                                     ? texts::promptTooLarge
                                                               : texts::promptTooLong;
        EXPECT_EQ(store.error(), row.accepted ? "stop here" : refusal);
        EXPECT_EQ(server.requests().size(), row.accepted ? 1 : 0);
        if (row.accepted) {
            EXPECT_EQ(bodyOf(server.requests()[0])["prompt"].toString(), row.prompt.trimmed());
        }
    }
    server.serve("/generate", silent);
    ASSERT_TRUE(store.start(recipe()));
    EXPECT_EQ(store.stage(), texts::stageSending);
    EXPECT_FALSE(store.start(recipe(QStringLiteral("another"))));
    EXPECT_EQ(store.error(), texts::alreadyGenerating);
    EXPECT_EQ(store.submission()->prompt, "a lighthouse in fog");
    store.cancel();
}

TEST_F(GenerationTest, GenerateRepliesEndInTheRightState)
{
    struct Row {
        const char* name;
        QList<Reply> replies;
        bool debug;
        std::optional<QString> error; // none: polled to the clip
        qsizetype requests;
    };
    const Row rows[] = {
        { "job polls to the clip", { json(200, R"({"job":"j","message":"queued"})") }, false, std::nullopt, 1 },
        { "message without job", { json(402, R"({"message":"Out of credits"})") }, false, "Out of credits", 1 },
        { "message of the wrong type falls to error", { json(400, R"({"message":7,"error":"e"})") }, false, "e", 1 },
        { "job of the wrong type", { json(200, R"({"job":17})") }, false, texts::cannotReach, 1 },
        { "not JSON", { json(200, "<html>") }, false, texts::cannotReach, 1 },
        { "cut off", { cut(R"({"job":"jjjjjjjj"})") }, false, texts::cannotReach, 1 },
        { "426 without JSON", { json(426, "Upgrade Required") }, false, texts::updateRequired, 1 },
        { "update_required on 200", { json(200, R"({"error":"update_required"})") }, false, texts::updateRequired, 1 },
        { "403 with debug retries without it", { json(403, "Forbidden"), json(200, R"({"job":"j"})") }, true,
            std::nullopt, 2 },
        { "a second 403 is final", { json(403, R"({"error":"no"})"), json(403, R"({"error":"still no"})") }, true,
            "still no", 2 },
        { "401 loop", { json(401, "{}"), json(401, "{}") }, false, texts::cannotVerify, 2 },
    };
    server.serve("/jobs/j", json(200, doneWithClip));
    server.serve("/enroll", json(200, tokenReply("again")));
    secrets.items.insert(debugTokenItem, "dev-token");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.clearRequests();
        app::GenerationSubmission submission = recipe();
        submission.debug = row.debug;
        for (const Reply& reply : row.replies)
            server.queue("/generate", reply);
        ASSERT_TRUE(store.start(submission));
        ASSERT_TRUE(finishes(store));
        EXPECT_EQ(store.error(), row.error);
        EXPECT_EQ(store.stage(), row.error ? texts::stageFailed : texts::stageReady);
        const auto sent = server.requestsTo("/generate");
        ASSERT_EQ(sent.size(), row.requests);
        EXPECT_EQ(bodyOf(sent[0]).contains("debug_token"), row.debug);
        EXPECT_EQ(bodyOf(sent[0])["soundscape"], "none");
        if (row.debug) {
            EXPECT_FALSE(bodyOf(sent[1]).contains("debug") || bodyOf(sent[1]).contains("debug_token"));
        }
    }
}

TEST_F(GenerationTest, JobRepliesEndInTheRightState)
{
    struct Row {
        const char* name;
        QList<Reply> replies;
        std::optional<QString> error; // none: the clip
        QString stage;
        qsizetype polls;
    };
    const Reply broken = json(200, "not json");
    const Reply pending = json(200, R"({"done":false,"log":"vetting: ok"})");
    QByteArray megabyte;
    while (megabyte.size() < 1024 * 1024)
        megabyte += "frame rendered at quality 93 without incident\\n";
    const Row rows[] = {
        { "four failed polls then progress reset the count",
            { broken, cut(R"({"done":false})"), json(500, "[]"), json(200, R"({"done":"true"})"), pending, broken,
                broken, broken, broken, json(200, doneWithClip) },
            std::nullopt, texts::stageReady, 10 },
        { "five failed polls in a row", { pending, broken, broken, broken, broken, broken }, texts::lostContact,
            texts::stageFailed, 6 },
        { "done and ok but no clip", { json(200, R"({"done":true,"ok":true,"log":"step\nRender crashed\n\n"})") },
            "Render crashed", texts::stageFailed, 1 },
        { "failed with a log of the wrong type", { json(200, R"({"done":true,"ok":false,"log":["x"]})") },
            texts::generationFailedRetry, texts::stageFailed, 1 },
        { "failed without a log", { json(200, R"({"done":true,"ok":false})") }, texts::generationFailedRetry,
            texts::stageFailed, 1 },
        { "rejected as inappropriate", { json(200, R"({"done":true,"ok":false,"log":"vetting: INAPPROPRIATE"})") },
            texts::notAllAges, texts::stageStopped, 1 },
        { "a megabyte log is read whole", { json(200, R"({"done":true,"ok":false,"log":")" + megabyte + "No GPU\"}") },
            "No GPU", texts::stageFailed, 1 },
        { "ok as a string is not ok", { json(200, R"({"done":true,"ok":"true","clip":"c","log":"x"})") }, "x",
            texts::stageFailed, 1 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        runJob(row.replies);
        EXPECT_EQ(store.error(), row.error);
        EXPECT_EQ(store.stage(), row.stage);
        EXPECT_EQ(store.clipURL().has_value(), !row.error);
        EXPECT_EQ(polls(), row.polls);
    }
}

TEST(StageText, FirstMatchingMarkerWinsAndMarkersAreExact)
{
    const std::pair<const char*, const char*> rows[]
        = { { "queued", "Checking your prompt…" }, { "vetting: ok", "Prompt approved · composing the scene…" },
              { "vetting: ok\nkeyframe...", "Creating the keyframe…" },
              { "keyframe: k.png\nAnimating...", "Keyframe ready · starting animation…" },
              { "keyframe...\nanimating...", "Animating your wumble…" },
              // An ellipsis character is not three full stops, and markers are case-sensitive.
              { "keyframe…", "Checking your prompt…" }, { "VETTING: x", "Checking your prompt…" } };
    for (const auto& [log, stage] : rows)
        EXPECT_EQ(app::GenerationStore::stageText(QString::fromUtf8(log)), QString::fromUtf8(stage)) << log;
}

TEST_F(GenerationTest, AJobThatNeverFinishesTimesOutAfterFifteenMinutesOfInjectedTime)
{
    runJob({ json(200, R"({"done":false,"log":"keyframe..."})") });
    EXPECT_EQ(store.error(), "Generation timed out after 15 minutes. Please try again.");
    EXPECT_EQ(polls(), 179);
    EXPECT_FALSE(server.requestsTo("/jobs/j").first().headers.contains("authorization"));
    EXPECT_EQ(clock.monotonic(), 900s);
}

// A session that notes every request the moment it is made, before anything goes out.
class NotingSession final : public QNetworkAccessManager {
public:
    QStringList paths;

protected:
    QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request, QIODevice* data) override
    {
        paths << request.url().path();
        return QNetworkAccessManager::createRequest(operation, request, data);
    }
};

// Waits that end only when the test wakes them; the injected clock moves by what each asked for.
class GatedSleeper final : public platform::Sleeper {
public:
    explicit GatedSleeper(ManualClock& clock)
        : clock_(clock)
    {
    }
    QCoro::Task<bool> sleep(std::chrono::milliseconds duration) override
    {
        Gate gate { waiting_ };
        co_await gate;
        clock_.advance(duration);
        co_return true;
    }
    void schedule(std::chrono::milliseconds, QObject*, std::function<void()>) override { }
    void sleepBlocking(std::chrono::milliseconds duration) override { clock_.advance(duration); }

    // Ends every pending wait; the sleepers run on synchronously up to their next suspension.
    void wakeAll()
    {
        for (std::coroutine_handle<> waiter : std::exchange(waiting_, {}))
            waiter.resume();
    }
    size_t pending() const { return waiting_.size(); }

private:
    struct Gate {
        std::vector<std::coroutine_handle<>>& waiting;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiter) { waiting.push_back(waiter); }
        void await_resume() const noexcept { }
    };
    ManualClock& clock_;
    std::vector<std::coroutine_handle<>> waiting_;
};

TEST_F(GenerationTest, NeitherACancelledRunNorADestroyedStoreKeepsPolling)
{
    NotingSession noting;
    app::AuthStore notedAuth(noting, secrets, identity, system, config());
    GatedSleeper gated(clock);
    server.serve("/generate", json(200, R"({"job":"j"})"));
    server.serve("/jobs/j", json(200, R"({"done":false,"log":"keyframe..."})"));
    for (const bool destroy : { false, true }) {
        SCOPED_TRACE(destroy ? "destroyed" : "cancelled");
        noting.paths.clear();
        auto run = std::make_unique<app::GenerationStore>(notedAuth, debugSources(), gated);
        ASSERT_TRUE(run->start(recipe()));
        // One poll through, so the run is inside its polling loop, asleep.
        ASSERT_TRUE(QTest::qWaitFor([&] { return gated.pending() == 1; }, 5000));
        gated.wakeAll();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return gated.pending() == 1 && run->stage() == "Creating the keyframe…"; }, 5000));
        const QStringList before = noting.paths;
        ASSERT_EQ(before, (QStringList { "/generate", "/jobs/j" }));

        if (destroy)
            run.reset();
        else
            run->cancel();
        // The wake-up that would have polled next: a poll would be requested before wakeAll returns.
        gated.wakeAll();
        EXPECT_EQ(noting.paths, before);
        EXPECT_EQ(gated.pending(), 0U) << "the loop ended instead of waiting again";
        if (run) {
            EXPECT_FALSE(run->isRunning());
            EXPECT_EQ(run->stage(), "Creating the keyframe…") << "cancelling leaves the visible state alone";
        }
    }
}

TEST_F(GenerationTest, TitleAndPublishFollowUpsReportTheirOutcome)
{
    runJob({ json(200, doneWithClip) });
    const std::tuple<Reply, bool, std::optional<QString>> titles[] = {
        { cut("{\"ok\":true,\"padding\":\"xxxxxxxx\"}"), false, texts::titleNotSaved },
        { json(200, "{}"), true, std::nullopt },
    };
    for (const auto& [reply, saved, error] : titles) {
        server.queue("/title", reply);
        await(store.saveTitle(QStringLiteral("  Fog at dawn \n")));
        EXPECT_EQ(store.titleSaved(), saved);
        EXPECT_EQ(store.error(), error);
        EXPECT_EQ(bodyOf(server.requestsTo("/title").last()),
            QJsonObject(
                { { "url", "https://cdn.example/c.mp4" }, { "title", "Fog at dawn" }, { "user", recipe().userID } }));
    }
    EXPECT_EQ(server.requestsTo("/title").last().method, "PATCH");
    await(store.saveTitle(QStringLiteral(" \t ")));
    EXPECT_EQ(server.requestsTo("/title").size(), 2) << "a blank title is not sent";

    LogCapture log;
    server.queue("/publish", json(401, "{}"));
    server.queue("/enroll", json(500, "{}"));
    await(store.publish(QStringLiteral("Fog")));
    EXPECT_EQ(store.error(), texts::notPublished);
    EXPECT_TRUE(log.contains(QStringLiteral("publish update failed: ") + texts::cannotEnroll));

    // An answer for a clip that a newer run has replaced is dropped.
    server.queue("/title", Reply { 500, {}, "{}", Reply::Mode::Delayed, 100 });
    QCoro::Task<> saving = store.saveTitle(QStringLiteral("Old clip title"));
    server.serve("/generate", json(200, R"({"message":"No credits left"})"));
    server.serve("/enroll", json(200, tokenReply("again"))); // the failed publish cleared the token
    ASSERT_TRUE(store.start(recipe(QStringLiteral("second"))));
    ASSERT_TRUE(finishes(store));
    await(std::move(saving));
    EXPECT_EQ(store.error(), "No credits left");
}

} // namespace
} // namespace quorvel::testing
