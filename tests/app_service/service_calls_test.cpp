#include "app/service/service_json.h"
#include "service_fixture.h"
#include "support/coro.h"
#include "support/log_capture.h"

#include <QJsonDocument>

namespace quorvel::testing {
namespace {

using app::PromptCheckResult;
using namespace std::chrono_literals;

TEST(Endpoints, PathsMethodsTimeoutsAndBodies)
{
    app::ServiceConfig config;
    config.baseUrl = QStringLiteral("https://svc.example");
    struct Row {
        const char* name;
        app::ServiceRequest request;
        const char* url;
        const char* method;
        std::chrono::milliseconds timeout;
        QStringList bodyKeys; // empty: no body at all
    } rows[] = {
        { "enroll", app::endpoints::enroll(config, "M"), "https://svc.example/enroll", "POST", 15s, { "machine" } },
        { "balance", app::endpoints::balance(config, "M"), "https://svc.example/balance?user=M", "GET", 60s, {} },
        { "history", app::endpoints::history(config, "M"), "https://svc.example/history?user=M", "GET", 60s, {} },
        { "generate", app::endpoints::generate(config, QJsonObject { { "prompt", "p" } }),
            "https://svc.example/generate", "POST", 60s, { "prompt" } },
        { "job poll", app::endpoints::job(config, "j-1"), "https://svc.example/jobs/j-1", "GET", 60s, {} },
        { "vet-prompt", app::endpoints::vetPrompt(config, { "p", "s", "m", "v", "M" }),
            "https://svc.example/vet-prompt", "POST", 15s,
            { "motion", "prompt", "soundscape", "style", "user", "vibe" } },
        // One slash between the base URL and the action word.
        { "title", app::endpoints::updateClip(config, "title", "c", "t", "M"), "https://svc.example/title", "PATCH",
            60s, { "title", "url", "user" } },
        { "publish", app::endpoints::updateClip(config, "publish", "c", "t", "M"), "https://svc.example/publish",
            "PATCH", 60s, { "title", "url", "user" } },
        { "debug-access", app::endpoints::debugAccess(config, "d", "t"), "https://svc.example/debug-access", "POST",
            60s, { "machine", "token" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.request.url.toString(), QString::fromLatin1(row.url));
        EXPECT_EQ(row.request.method, row.method);
        EXPECT_EQ(row.request.timeout, row.timeout);
        const QNetworkRequest network = row.request.toNetworkRequest();
        EXPECT_EQ(network.transferTimeout(), int(row.timeout.count()));
        if (row.bodyKeys.isEmpty()) {
            EXPECT_FALSE(row.request.body);
            EXPECT_FALSE(network.header(QNetworkRequest::ContentTypeHeader).isValid());
        } else {
            ASSERT_TRUE(row.request.body);
            EXPECT_EQ(network.header(QNetworkRequest::ContentTypeHeader).toString(), "application/json");
            const QJsonObject body = QJsonDocument::fromJson(*row.request.body).object();
            EXPECT_EQ(body.keys(), row.bodyKeys);
            for (const QString& key : row.bodyKeys)
                EXPECT_TRUE(body.value(key).isString()) << key.toStdString();
        }
    }
    EXPECT_EQ(
        QJsonDocument::fromJson(*app::endpoints::vetPrompt(config, { "p", "s", "m", "v", "M" }).body)["soundscape"],
        "none");
}

TEST(Endpoints, AJobIdCannotLeaveTheJobsPath)
{
    app::ServiceConfig config;
    config.baseUrl = QStringLiteral("https://svc.example");
    for (const char* id : { "../enroll", "a?user=x", "a#b", "@evil.example/x", "a b" }) {
        SCOPED_TRACE(id);
        const QUrl url = app::endpoints::job(config, id).url;
        EXPECT_EQ(url.host(), "svc.example");
        EXPECT_TRUE(url.path().startsWith("/jobs/"));
        EXPECT_FALSE(url.hasQuery());
        EXPECT_FALSE(url.hasFragment());
        EXPECT_EQ(url.path(QUrl::FullyDecoded), "/jobs/" + QString::fromLatin1(id));
    }
}

TEST(ServiceJson, IntegersMayArriveAsFloatsButNothingElseCounts)
{
    struct Row {
        const char* body;
        std::optional<qint64> expected;
    } rows[] = {
        { R"({"n":5})", 5 },
        { R"({"n":5.0})", 5 },
        { R"({"n":-3e2})", -300 },
        { R"({"n":9007199254740993})", 9007199254740993 },
        { R"({"n":5.5})", std::nullopt },
        { R"({"n":1e30})", std::nullopt },
        { R"({"n":true})", std::nullopt },
        { R"({"n":"5"})", std::nullopt },
        { R"({"n":null})", std::nullopt },
        { R"({})", std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body);
        EXPECT_EQ(app::json::integer(*app::json::object(row.body), "n"), row.expected);
    }
}

class PromptCheckTest : public ServiceFixture { };

TEST_F(PromptCheckTest, RepliesBecomeVerdictsDelaysOrNoCheck)
{
    const QString throttled = QStringLiteral("Prompt pre-check throttled; retrying in %1s.");
    const QString notChecked = QStringLiteral("Prompt pre-check didn't complete; the job's own vetting still applies.");
    using Kind = PromptCheckResult::Kind;
    struct Row {
        const char* name;
        FaultReply reply;
        PromptCheckResult expected;
        QString line;
        QtMsgType level;
    } rows[] = {
        { "approved", FaultReply::json(200, R"({"checked":true,"ok":true})"), { Kind::approved, 0 }, {}, QtDebugMsg },
        { "rejected", FaultReply::json(200, R"({"checked":true,"ok":false})"), { Kind::rejected, 0 }, {}, QtDebugMsg },
        { "ok as a number", FaultReply::json(200, R"({"checked":true,"ok":1})"), { Kind::notChecked, 0 }, notChecked,
            QtCriticalMsg },
        { "not checked", FaultReply::json(200, R"({"checked":false,"ok":true})"), { Kind::notChecked, 0 }, notChecked,
            QtCriticalMsg },
        { "verdict on a 201", FaultReply::json(201, R"({"checked":true,"ok":true})"), { Kind::notChecked, 0 },
            notChecked, QtCriticalMsg },
        { "server error", FaultReply::json(500, "oops"), { Kind::notChecked, 0 }, notChecked, QtCriticalMsg },
        { "cut off", FaultReply::cut(R"({"checked":true,"ok":true})"), { Kind::notChecked, 0 }, notChecked,
            QtCriticalMsg },
        { "429 with 120", FaultReply::json(429, R"({"retry_after":120})"), { Kind::retryAfter, 30 },
            throttled.arg("120.000000"), QtDebugMsg },
        { "429 with -5", FaultReply::json(429, R"({"retry_after":-5})"), { Kind::retryAfter, 0 },
            throttled.arg("-5.000000"), QtDebugMsg },
        { "429 with 2.5", FaultReply::json(429, R"({"retry_after":2.5})"), { Kind::retryAfter, 2.5 },
            throttled.arg("2.500000"), QtDebugMsg },
        { "429 with no field", FaultReply::json(429, "{}"), { Kind::retryAfter, 5 }, throttled.arg("5.000000"),
            QtDebugMsg },
        { "429 with a string", FaultReply::json(429, R"({"retry_after":"7"})"), { Kind::retryAfter, 5 },
            throttled.arg("5.000000"), QtDebugMsg },
        { "429 with a huge value", FaultReply::json(429, R"({"retry_after":1e300})"), { Kind::retryAfter, 30 }, {},
            QtDebugMsg },
    };
    setStoredToken("tok");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.requests.clear();
        server.reply("/vet-prompt", row.reply);
        LogCapture log;
        EXPECT_EQ(await(auth.vetPrompt({ "a cat", "anime", "drift", "dreamy", identity.identifier })), row.expected);
        if (!row.line.isEmpty()) {
            const auto lines = log.lines();
            const auto it
                = std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.message == row.line; });
            ASSERT_NE(it, lines.end()) << row.line.toStdString();
            EXPECT_EQ(it->type, row.level);
        }
        ASSERT_EQ(server.requests.size(), 1u);
        EXPECT_EQ(server.requests[0].header("Authorization"), "Bearer tok");
    }
}

TEST_F(PromptCheckTest, AJobPollThatStallsEndsAtItsTimeout)
{
    app::ServiceConfig impatient = config();
    impatient.pollTimeout = 200ms;
    app::AuthStore store(session, secrets, identity, system, impatient);
    server.reply("/jobs/slow", FaultReply::silent());
    EXPECT_EQ(await(store.pollJob("slow")), std::nullopt);
}

} // namespace
} // namespace quorvel::testing
