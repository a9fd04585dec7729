#include "generation_fixture.h"
#include "support/coro.h"
#include "support/log_capture.h"

#include <QSignalSpy>

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;
namespace texts = app::texts;
using Store = app::GenerationStore;

class GenerationStoreTest : public GenerationFixture { };

TEST_F(GenerationStoreTest, StartRefusesWhatCannotBeSent)
{
    const QString combiningE = QStringLiteral("e\u0301");
    struct Row {
        const char* name;
        QString prompt;
        std::optional<QString> error; // none: accepted
    } rows[] = {
        { "empty", QString(), texts::describeWumble },
        { "only white space and newlines", QStringLiteral(" \n\t \r\n "), texts::describeWumble },
        { "exactly 2000", QString(2000, QLatin1Char('a')), std::nullopt },
        { "2001", QString(2001, QLatin1Char('a')), texts::promptTooLong },
        { "2000 once trimmed", QStringLiteral("   ") + QString(2000, QLatin1Char('a')) + QStringLiteral("\n"),
            std::nullopt },
        // 4000 UTF-16 units, but 2000 characters as the user counts them.
        { "2000 accented letters", combiningE.repeated(2000), std::nullopt },
        { "2001 emoji", QStringLiteral("\U0001F30A").repeated(2001), texts::promptTooLong },
    };
    server.always("/generate", FaultReply::json(200, R"({"message":"stop here"})"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.requests.clear();
        const bool accepted = store.start(recipe(row.prompt));
        EXPECT_EQ(accepted, !row.error.has_value());
        if (row.error) {
            EXPECT_EQ(store.error(), row.error);
            EXPECT_TRUE(server.requests.empty());
            continue;
        }
        ASSERT_TRUE(finishes(store));
        ASSERT_EQ(generateBodies().size(), 1u);
        EXPECT_EQ(generateBodies()[0]["prompt"].toString(), row.prompt.trimmed());
        EXPECT_EQ(store.submission()->prompt, row.prompt.trimmed());
    }
}

TEST_F(GenerationStoreTest, ASecondStartWhileRunningIsRefusedAndChangesNothing)
{
    server.always("/generate", FaultReply::silent());
    ASSERT_TRUE(store.start(recipe()));
    EXPECT_EQ(store.stage(), texts::stageSending);
    EXPECT_FALSE(store.start(recipe(QStringLiteral("another"))));
    EXPECT_EQ(store.error(), texts::alreadyGenerating);
    EXPECT_EQ(store.stage(), texts::stageSending);
    EXPECT_EQ(store.submission()->prompt, "a lighthouse in fog");
    store.cancel();
}

TEST_F(GenerationStoreTest, TheGenerateBodyCarriesTheRecipeAndDebugKeysOnlyWithCredentials)
{
    server.always("/generate", FaultReply::json(200, R"({"message":"stop"})"));
    app::GenerationSubmission submission = recipe();
    submission.soundscape = QStringLiteral("ocean"); // never sent: always "none"
    ASSERT_TRUE(store.start(submission));
    ASSERT_TRUE(finishes(store));
    const QJsonObject expected {
        { "prompt", "a lighthouse in fog" },
        { "style", "noir" },
        { "motion", "push-in" },
        { "vibe", "dreamy" },
        { "lite", true },
        { "handle", "@fog" },
        { "soundscape", "none" },
        { "user", submission.userID },
    };
    EXPECT_EQ(generateBodies().at(0), expected);
    EXPECT_EQ(store.submission()->soundscape, "none");

    provideDebugToken("dev-secret");
    submission.debug = true;
    ASSERT_TRUE(store.start(submission));
    ASSERT_TRUE(finishes(store));
    QJsonObject withDebug = expected;
    withDebug.insert("debug", true);
    withDebug.insert("debug_machine", app::DebugCredentials::machineValue(*identity.en0));
    withDebug.insert("debug_token", "dev-secret");
    EXPECT_EQ(generateBodies().at(1), withDebug);
}

// The reply to /generate decides between polling and each failure text.
TEST_F(GenerationStoreTest, GenerateRepliesEndInTheRightState)
{
    struct Row {
        const char* name;
        QList<FaultReply> replies;
        bool debug;
        QString stage;
        std::optional<QString> error;
        size_t generateRequests;
        QString logLine;
    };
    const Row rows[] = {
        { "job polls to the clip", { FaultReply::json(200, R"({"job":"j"})") }, false, texts::stageReady, std::nullopt,
            1, {} },
        { "message and job polls", { FaultReply::json(200, R"({"job":"j","message":"queued"})") }, false,
            texts::stageReady, std::nullopt, 1, {} },
        { "message without job", { FaultReply::json(402, R"({"message":"Out of credits"})") }, false,
            texts::stageFailed, QStringLiteral("Out of credits"), 1, {} },
        { "error without job", { FaultReply::json(500, R"({"error":"busy"})") }, false, texts::stageFailed,
            QStringLiteral("busy"), 1, {} },
        { "message of the wrong type falls to error", { FaultReply::json(400, R"({"message":7,"error":"e"})") }, false,
            texts::stageFailed, QStringLiteral("e"), 1, {} },
        { "job of the wrong type", { FaultReply::json(200, R"({"job":17})") }, false, texts::stageFailed,
            texts::cannotReach, 1, {} },
        { "empty object", { FaultReply::json(200, "{}") }, false, texts::stageFailed, texts::cannotReach, 1, {} },
        { "not JSON", { FaultReply::json(200, "<html>") }, false, texts::stageFailed, texts::cannotReach, 1, {} },
        { "cut off", { FaultReply::cut(R"({"job":"jjjjjjjj"})") }, false, texts::stageFailed, texts::cannotReach, 1,
            QStringLiteral("Generate request failed: ") + texts::cannotReach },
        { "426 with JSON", { FaultReply::json(426, R"({"job":"j"})") }, false, texts::stageFailed,
            texts::updateRequired, 1,
            QStringLiteral("Server requires an app update before generating (build too old).") },
        { "426 without JSON", { FaultReply::json(426, "Upgrade Required") }, false, texts::stageFailed,
            texts::updateRequired, 1,
            QStringLiteral("Server requires an app update before generating (build too old).") },
        { "update_required error on 200", { FaultReply::json(200, R"({"error":"update_required"})") }, false,
            texts::stageFailed, texts::updateRequired, 1, {} },
        { "403 without debug is an ordinary reply", { FaultReply::json(403, R"({"error":"forbidden"})") }, false,
            texts::stageFailed, QStringLiteral("forbidden"), 1, {} },
        { "403 with debug retries once without it",
            { FaultReply::json(403, R"({"error":"nope"})"), FaultReply::json(200, R"({"job":"j"})") }, true,
            texts::stageReady, std::nullopt, 2,
            QStringLiteral("Server denied debug access; retrying on normal wumble credits.") },
        { "403 with debug and no JSON still retries",
            { FaultReply::json(403, "Forbidden"), FaultReply::json(200, R"({"job":"j"})") }, true, texts::stageReady,
            std::nullopt, 2, {} },
        { "a second 403 is not retried",
            { FaultReply::json(403, R"({"error":"nope"})"), FaultReply::json(403, R"({"error":"still no"})") }, true,
            texts::stageFailed, QStringLiteral("still no"), 2, {} },
        { "401 loop", { FaultReply::json(401, "{}"), FaultReply::json(401, "{}") }, false, texts::stageFailed,
            texts::cannotVerify, 2, QStringLiteral("Generate request failed: ") + texts::cannotVerify },
    };
    server.always("/jobs/j", FaultReply::json(200, R"({"done":true,"ok":true,"clip":"https://cdn/x.mp4","log":"ok"})"));
    server.always("/enroll", FaultReply::json(200, tokenReply("again")));
    provideDebugToken();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.requests.clear();
        LogCapture log;
        app::GenerationSubmission submission = recipe();
        submission.debug = row.debug;
        for (const FaultReply& reply : row.replies)
            server.reply("/generate", reply);
        ASSERT_TRUE(store.start(submission));
        ASSERT_TRUE(finishes(store));
        EXPECT_EQ(store.stage(), row.stage);
        EXPECT_EQ(store.error(), row.error);
        EXPECT_EQ(store.clipURL().has_value(), row.stage == texts::stageReady);
        const auto bodies = generateBodies();
        ASSERT_EQ(bodies.size(), row.generateRequests);
        EXPECT_EQ(bodies[0].contains("debug_token"), row.debug);
        if (bodies.size() > 1) {
            EXPECT_FALSE(bodies[1].contains("debug"));
            EXPECT_FALSE(bodies[1].contains("debug_machine"));
            EXPECT_FALSE(bodies[1].contains("debug_token"));
        }
        if (!row.logLine.isEmpty()) {
            EXPECT_TRUE(log.contains(row.logLine)) << row.logLine.toStdString();
        }
        EXPECT_EQ(store.authFailure().has_value(), row.logLine.startsWith("Generate request failed"));
    }
}

TEST_F(GenerationStoreTest, DebugWithoutAKeychainItemRunsAsANormalGeneration)
{
    LogCapture log;
    server.always("/generate", FaultReply::json(200, R"({"message":"stop"})"));
    app::GenerationSubmission submission = recipe();
    submission.debug = true;
    ASSERT_TRUE(store.start(submission));
    ASSERT_TRUE(finishes(store));
    EXPECT_TRUE(log.contains("Debug mode unavailable: keychain lookup failed (OSStatus -25300)."));
    ASSERT_EQ(generateBodies().size(), 1u);
    EXPECT_FALSE(generateBodies()[0].contains("debug"));
    EXPECT_TRUE(store.submission()->debug) << "the user's request is kept; only the sent copy drops it";
}

TEST(StageText, FirstMatchingMarkerWins)
{
    struct Row {
        const char* log;
        const char* stage;
    } rows[] = {
        { "", "Checking your prompt…" },
        { "queued", "Checking your prompt…" },
        { "vetting: approved", "Prompt approved · composing the scene…" },
        { "vetting: approved\nkeyframe...", "Creating the keyframe…" },
        { "keyframe: done", "Keyframe ready · starting animation…" },
        { "keyframe...\nkeyframe: done\nanimating...", "Animating your wumble…" },
        { "Animating...", "Checking your prompt…" },
        { "keyframe\u2026", "Checking your prompt…" }, // an ellipsis character is not three full stops
        { "VETTING:", "Checking your prompt…" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(Store::stageText(QString::fromUtf8(row.log)), QString::fromUtf8(row.stage)) << row.log;
}

} // namespace
} // namespace quorvel::testing
