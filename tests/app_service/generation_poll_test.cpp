#include "generation_fixture.h"
#include "support/coro.h"
#include "support/log_capture.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;
namespace texts = app::texts;

class GenerationPollTest : public GenerationFixture {
protected:
    void startJob(const QByteArray& jobId = "j")
    {
        server.always("/generate", FaultReply::json(200, "{\"job\":\"" + jobId + "\"}"));
        ASSERT_TRUE(store.start(recipe()));
    }
    size_t polls() const { return server.requestsTo("/jobs/j").size(); }
};

const char* const doneWithClip = R"({"done":true,"ok":true,"clip":"https://cdn.example/c.mp4","log":"animating..."})";

TEST_F(GenerationPollTest, JobRepliesEndInTheRightState)
{
    struct Row {
        const char* name;
        QList<FaultReply> replies; // the last one repeats
        QString stage;
        std::optional<QString> error;
        std::optional<QString> clip;
        size_t polls;
    };
    const FaultReply pending = FaultReply::json(200, R"({"done":false,"log":"vetting: ok"})");
    const FaultReply broken = FaultReply::json(200, "not json");
    const Row rows[] = {
        { "done with a clip", { FaultReply::json(200, doneWithClip) }, texts::stageReady, std::nullopt,
            QStringLiteral("https://cdn.example/c.mp4"), 1 },
        { "four failed polls then progress reset the count",
            { broken, FaultReply::cut(R"({"done":false})"), FaultReply::json(200, R"({"error":null})"),
                FaultReply::json(500, "[]"), pending, broken, broken, broken, broken,
                FaultReply::json(200, doneWithClip) },
            texts::stageReady, std::nullopt, QStringLiteral("https://cdn.example/c.mp4"), 10 },
        { "five failed polls in a row",
            { pending, broken, broken, FaultReply::json(200, R"({"error":"gone"})"), broken, broken },
            texts::stageFailed, texts::lostContact, std::nullopt, 6 },
        { "done and ok but no clip",
            { FaultReply::json(200, R"({"done":true,"ok":true,"log":"step one\nRender crashed\n\n"})") },
            texts::stageFailed, QStringLiteral("Render crashed"), std::nullopt, 1 },
        { "clip of the wrong type", { FaultReply::json(200, R"({"done":true,"ok":true,"clip":5,"log":"bad clip"})") },
            texts::stageFailed, QStringLiteral("bad clip"), std::nullopt, 1 },
        { "failed with an empty log", { FaultReply::json(200, R"({"done":true,"ok":false})") }, texts::stageFailed,
            texts::generationFailedRetry, std::nullopt, 1 },
        { "failed with a log of the wrong type", { FaultReply::json(200, R"({"done":true,"ok":false,"log":["x"]})") },
            texts::stageFailed, texts::generationFailedRetry, std::nullopt, 1 },
        { "rejected as inappropriate",
            { FaultReply::json(200, R"({"done":true,"ok":false,"log":"vetting: INAPPROPRIATE\nstopped"})") },
            texts::stageStopped, texts::notAllAges, std::nullopt, 1 },
        { "inappropriate is case-sensitive",
            { FaultReply::json(200, R"({"done":true,"ok":false,"log":"inappropriate"})") }, texts::stageFailed,
            QStringLiteral("inappropriate"), std::nullopt, 1 },
        { "ok as a string is not ok", { FaultReply::json(200, R"({"done":true,"ok":"true","clip":"c","log":"x"})") },
            texts::stageFailed, QStringLiteral("x"), std::nullopt, 1 },
        { "done as a string is not done",
            { FaultReply::json(200, R"({"done":"true"})"), FaultReply::json(200, doneWithClip) }, texts::stageReady,
            std::nullopt, QStringLiteral("https://cdn.example/c.mp4"), 2 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.requests.clear();
        for (const FaultReply& reply : row.replies.mid(0, row.replies.size() - 1))
            server.reply("/jobs/j", reply);
        server.always("/jobs/j", row.replies.last());
        startJob();
        ASSERT_TRUE(finishes(store));
        EXPECT_EQ(store.stage(), row.stage);
        EXPECT_EQ(store.error(), row.error);
        EXPECT_EQ(store.clipURL(), row.clip);
        EXPECT_EQ(polls(), row.polls);
    }
}

TEST_F(GenerationPollTest, StageLinesFollowTheJobLog)
{
    QStringList stages;
    QObject::connect(&store, &app::GenerationStore::stageChanged, &store, [&] { stages << store.stage(); });
    for (const char* log : { "queued", "vetting: ok", "vetting: ok\nkeyframe...", "vetting: ok\nkeyframe: k.png",
             "vetting: ok\nkeyframe: k.png\nanimating..." }) {
        server.reply("/jobs/j",
            FaultReply::json(
                200, QByteArray(R"({"done":false,"log":")") + QByteArray(log).replace("\n", "\\n") + "\"}"));
    }
    server.always("/jobs/j", FaultReply::json(200, doneWithClip));
    startJob();
    ASSERT_TRUE(finishes(store));
    EXPECT_EQ(stages,
        QStringList({ "Sending your recipe…", "Checking your prompt…", "Prompt approved · composing the scene…",
            "Creating the keyframe…", "Keyframe ready · starting animation…", "Animating your wumble…",
            "Your wumble is ready" }));
    EXPECT_EQ(store.log(), "animating...");
    for (const RecordedRequest& request : server.requestsTo("/jobs/j")) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_FALSE(request.hasHeader("Authorization"));
        EXPECT_FALSE(request.hasHeader("X-Quorvel-Build"));
    }
}

TEST_F(GenerationPollTest, AJobThatNeverFinishesTimesOutAfterFifteenMinutes)
{
    server.always("/jobs/j", FaultReply::json(200, R"({"done":false,"log":"keyframe..."})"));
    startJob();
    ASSERT_TRUE(finishes(store, 60000));
    EXPECT_EQ(store.error(), texts::timedOut);
    EXPECT_EQ(store.stage(), texts::stageFailed);
    EXPECT_EQ(polls(), 179u);
    EXPECT_EQ(sleeper.sleeps.size(), 180u);
    EXPECT_TRUE(std::all_of(sleeper.sleeps.begin(), sleeper.sleeps.end(), [](auto d) { return d == 5s; }));
    EXPECT_EQ(clock.monotonic(), 900s);
}

TEST_F(GenerationPollTest, AMegabyteLogIsReadWhole)
{
    QByteArray log = "vetting: ok\\n";
    while (log.size() < 1024 * 1024)
        log += "frame rendered at quality 93 without incident\\n";
    log += "Out of GPU memory";
    server.always("/jobs/j", FaultReply::json(200, R"({"done":true,"ok":false,"log":")" + log + "\"}"));
    startJob();
    ASSERT_TRUE(finishes(store));
    EXPECT_EQ(store.error(), "Out of GPU memory");
    EXPECT_GT(store.log().size(), 1000000);
}

TEST_F(GenerationPollTest, AnInterruptedWaitEndsTheRunWithoutTouchingIt)
{
    sleeper.interruptSleeps = true;
    startJob();
    EXPECT_TRUE(QTest::qWaitFor([&] { return store.stage() == texts::stageChecking; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(polls(), 0u);
    EXPECT_EQ(store.error(), std::nullopt);
    store.cancel();
}

TEST_F(GenerationPollTest, CancelStopsPollingAndANewRunIsNotDisturbedByTheOldOne)
{
    server.always("/jobs/j", FaultReply::later(30, 200, R"({"done":false,"log":"keyframe..."})"));
    startJob();
    ASSERT_TRUE(QTest::qWaitFor([&] { return polls() >= 2; }, 5000));
    store.cancel();
    EXPECT_FALSE(store.isRunning());
    const QString stageAtCancel = store.stage();

    server.always("/generate", FaultReply::json(200, R"({"job":"k"})"));
    server.always("/jobs/k", FaultReply::later(30, 200, doneWithClip));
    ASSERT_TRUE(store.start(recipe()));
    ASSERT_TRUE(finishes(store));
    const size_t oldPolls = polls();
    QTest::qWait(100);
    EXPECT_EQ(polls(), oldPolls) << "the cancelled run kept polling";
    EXPECT_EQ(store.stage(), texts::stageReady);
    EXPECT_FALSE(stageAtCancel.isEmpty());
}

TEST_F(GenerationPollTest, DestroyingTheStoreMidRunIsSafe)
{
    for (const char* when : { "while submitting", "while polling" }) {
        SCOPED_TRACE(when);
        server.requests.clear();
        const bool submitting = QByteArray(when) == "while submitting";
        server.always("/generate",
            submitting ? FaultReply::later(50, 200, R"({"job":"j"})") : FaultReply::json(200, R"({"job":"j"})"));
        server.always("/jobs/j", FaultReply::later(50, 200, R"({"done":false})"));
        auto doomed = std::make_unique<app::GenerationStore>(auth, debugSources(), sleeper);
        ASSERT_TRUE(doomed->start(recipe()));
        if (!submitting) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return polls() >= 1; }, 5000));
        }
        doomed.reset();
        const size_t before = polls();
        QTest::qWait(200);
        EXPECT_LE(polls(), before + 1);
    }
}

} // namespace
} // namespace quorvel::testing
