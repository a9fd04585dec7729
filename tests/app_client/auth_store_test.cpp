#include "app/client/balance_reply.h"
#include "app/client/http_exchange.h"
#include "fixture.h"

#include <QSignalSpy>

namespace quorvel::testing {
namespace {

using app::AuthorizedResult;
using namespace std::chrono_literals;
const QString enrollmentFailedLine = QStringLiteral("Enrollment failed; the app will retry on the next authed call.");

class AuthStoreTest : public ServiceTest { };

TEST_F(AuthStoreTest, TokenItemIsReadOnlyAsNonEmptyUtf8AndReplacedByDeleteThenAdd)
{
    const std::pair<std::optional<QByteArray>, std::optional<QString>> rows[] = { { std::nullopt, std::nullopt },
        { "", std::nullopt }, { "\xff\xfe", std::nullopt }, { "t\xc3\xb6k", "t\u00f6k" } };
    for (const auto& [item, expected] : rows) {
        secrets.items.clear();
        if (item)
            secrets.items.insert(apiTokenItem, *item);
        EXPECT_EQ(await(auth.readToken()), expected) << item.value_or("<none>").toHex().constData();
    }
    EXPECT_TRUE(await(auth.storeToken("new")));
    EXPECT_EQ(storedToken(), "new");
    secrets.failAdds = true;
    EXPECT_FALSE(await(auth.storeToken("newer")));
    EXPECT_EQ(storedToken(), std::nullopt) << "a failed add must not leave the stale token to be sent again";
}

TEST_F(AuthStoreTest, EnrollmentAcceptsOnlyA200WithANonEmptyStringToken)
{
    const std::pair<Reply, std::optional<QString>> rows[] = {
        { json(200, R"({"token":"abc","extra":1})"), "abc" },
        { json(200, R"({"token":""})"), std::nullopt },
        { json(200, R"({"token":12345})"), std::nullopt },
        { json(200, R"(["abc"])"), std::nullopt },
        { json(200, "<html>"), std::nullopt },
        { json(201, R"({"token":"abc"})"), std::nullopt },
        { cut(R"({"token":"abcdefghijklmnop"})"), std::nullopt },
    };
    secrets.items.insert(apiTokenItem, "must-not-be-sent");
    for (const auto& [reply, expected] : rows) {
        SCOPED_TRACE(reply.body.constData());
        LogCapture log;
        server.queue("/enroll", reply);
        EXPECT_EQ(await(auth.enroll()), expected);
        EXPECT_EQ(log.contains(enrollmentFailedLine), !expected);
    }
    const ReceivedRequest request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.headers.value("x-quorvel-build"), "42");
    EXPECT_FALSE(request.headers.contains("authorization"));
    EXPECT_EQ(bodyOf(request), QJsonObject({ { "machine", identity.identifier } }));
}

TEST_F(AuthStoreTest, EnsureEnrolledPublishesEachFailureTextAndClearsItOnSuccess)
{
    const std::tuple<Reply, bool, std::optional<QString>> rows[] = {
        { json(500, "{}"), false, texts::cannotEnroll },
        { json(200, tokenReply("fresh")), true, texts::cannotSaveCredentials },
        { json(200, tokenReply("fresh")), false, std::nullopt },
    };
    for (const auto& [reply, addFails, error] : rows) {
        secrets.failAdds = addFails;
        server.queue("/enroll", reply);
        QSignalSpy enrolling(&auth, &app::AuthStore::enrollingChanged);
        EXPECT_EQ(await(auth.ensureEnrolled()), !error);
        EXPECT_EQ(auth.enrollmentError(), error);
        EXPECT_EQ(enrolling.count(), 2);
    }
    EXPECT_TRUE(await(auth.ensureEnrolled()));
    EXPECT_EQ(server.requestsTo("/enroll").size(), 3) << "a stored token needs no enrollment";
}

TEST_F(AuthStoreTest, OverlappingCallersShareOneEnrollment)
{
    // Each call yields its failure text, or none when it got through.
    using Call = std::function<QCoro::Task<std::optional<QString>>(app::AuthStore&)>;
    const Call ensure = [](app::AuthStore& store) -> QCoro::Task<std::optional<QString>> {
        const bool enrolled = co_await store.ensureEnrolled();
        co_return enrolled ? std::nullopt : std::optional(store.enrollmentError().value_or("<no text>"));
    };
    const Call balance = [](app::AuthStore& store) -> QCoro::Task<std::optional<QString>> {
        const AuthorizedResult result = co_await store.balance();
        if (result.failure())
            co_return result.failure();
        co_return result.status() == 200 ? std::nullopt : std::optional(QString::number(result.status()));
    };
    struct Row {
        const char* name;
        std::optional<QByteArray> stored;
        Call first, second;
        int enrollStatus;
        std::optional<QString> failure;
        std::optional<QByteArray> storedAfter;
    };
    const Row rows[] = {
        { "first launch: the balance read and the window both need a token", std::nullopt, balance, ensure, 200,
            std::nullopt, "fresh" },
        { "two windows make sure at once", std::nullopt, ensure, ensure, 200, std::nullopt, "fresh" },
        { "two calls meet the rejected token", "stale", balance, balance, 200, std::nullopt, "fresh" },
        { "a failed enrollment fails every caller that shared it", std::nullopt, ensure, balance, 500,
            texts::cannotEnroll, std::nullopt },
    };
    // Like the real store, every secret operation completes later on the event loop.
    secrets.latency = 40ms;
    int enrollStatus = 200;
    int enrollments = 0;
    server.serve("/enroll", [&](const ReceivedRequest&) {
        // Answers slow enough for callers to overlap; a second enrollment's lags a little more, so
        // that its delete-then-add would straddle the first one's add.
        const int delayMs = ++enrollments == 1 ? 100 : 120;
        return Reply { enrollStatus, {}, tokenReply(enrollments == 1 ? "fresh" : "late"), Reply::Mode::Delayed,
            delayMs };
    });
    server.serve("/balance", [](const ReceivedRequest& request) {
        return request.headers.value("authorization") == "Bearer fresh" ? json(200, "{}") : json(401, "{}");
    });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        secrets.items.clear();
        if (row.stored)
            secrets.items.insert(apiTokenItem, *row.stored);
        server.clearRequests();
        enrollments = 0;
        enrollStatus = row.enrollStatus;
        QCoro::Task<std::optional<QString>> first = row.first(auth);
        QCoro::Task<std::optional<QString>> second = row.second(auth);
        EXPECT_EQ(await(std::move(first)), row.failure);
        EXPECT_EQ(await(std::move(second)), row.failure);
        EXPECT_EQ(server.requestsTo("/enroll").size(), 1);
        EXPECT_EQ(storedToken(), row.storedAfter);
        EXPECT_FALSE(auth.enrolling());
    }
}

TEST_F(AuthStoreTest, AuthorizedRequestOutcomes)
{
    struct Row {
        const char* name;
        std::optional<QByteArray> stored;
        QList<Reply> balance;
        QList<Reply> enroll;
        bool addFails;
        AuthorizedResult expected;
        std::optional<QByteArray> storedAfter;
        QList<QByteArray> bearers;
    };
    const Row rows[] = {
        { "stored token used", "tok", { json(404, "nope") }, {}, false, AuthorizedResult::response(404, "nope"), "tok",
            { "Bearer tok" } },
        { "empty token enrolls first", "", { json(200, "{}") }, { json(200, tokenReply("new")) }, false,
            AuthorizedResult::response(200, "{}"), "new", { "Bearer new" } },
        { "enrollment fails", std::nullopt, {}, { json(200, R"({"token":""})") }, false,
            AuthorizedResult::failure(texts::cannotEnroll), std::nullopt, {} },
        { "keychain refuses", std::nullopt, {}, { json(200, tokenReply("new")) }, true,
            AuthorizedResult::failure(texts::cannotSaveCredentials), std::nullopt, {} },
        { "connection cut", "tok", { cut(R"({"credits":5,"paid":false})") }, {}, false,
            AuthorizedResult::failure(texts::cannotReach), "tok", { "Bearer tok" } },
        { "401 then 500", "old", { json(401, "{}"), json(500, "boom") }, { json(200, tokenReply("new")) }, false,
            AuthorizedResult::response(500, "boom"), "new", { "Bearer old", "Bearer new" } },
        { "401 loop stops after one retry", "old", { json(401, "{}"), json(401, "{}") },
            { json(200, tokenReply("new")) }, false, AuthorizedResult::failure(texts::cannotVerify), "new",
            { "Bearer old", "Bearer new" } },
        { "401 and re-enrollment fails", "old", { json(401, "{}") }, { json(500, "{}") }, false,
            AuthorizedResult::failure(texts::cannotEnroll), std::nullopt, { "Bearer old" } },
        { "401 then the retry is cut", "old", { json(401, "{}"), cut("{\"credits\":1}") },
            { json(200, tokenReply("new")) }, false, AuthorizedResult::failure(texts::cannotReach), "new",
            { "Bearer old", "Bearer new" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        secrets.items.clear();
        secrets.failAdds = row.addFails;
        server.clearRequests();
        if (row.stored)
            secrets.items.insert(apiTokenItem, *row.stored);
        for (const Reply& reply : row.balance)
            server.queue("/balance", reply);
        for (const Reply& reply : row.enroll)
            server.queue("/enroll", reply);
        EXPECT_EQ(await(auth.balance()), row.expected);
        EXPECT_EQ(storedToken(), row.storedAfter);
        QList<QByteArray> bearers;
        for (const ReceivedRequest& request : server.requestsTo("/balance")) {
            bearers << request.headers.value("authorization");
            EXPECT_EQ(request.path, "/balance?user=" + identity.identifier);
        }
        EXPECT_EQ(bearers, row.bearers);
    }
}

TEST_F(AuthStoreTest, EveryStatusButA401IsAResponseWithItsBody)
{
    // The network layer files some statuses under proxy or protocol errors; they are answers all the same.
    const QList<QPair<QByteArray, QByteArray>> proxyChallenge { { "Proxy-Authenticate", "Basic realm=\"q\"" } };
    const Reply rows[] = {
        json(407, R"({"why":"proxy"})"),
        Reply { 407, proxyChallenge, R"({"why":"proxy"})" },
        json(400, "bad"),
        json(402, "pay"),
        json(403, "no"),
        json(404, "none"),
        json(405, "method"),
        json(409, "conflict"),
        json(410, "gone"),
        json(418, "teapot"),
        json(422, "unprocessable"),
        json(429, "later"),
        json(500, "boom"),
        json(501, "not here"),
        json(502, "gateway"),
        json(503, "busy"),
        json(504, "slow"),
    };
    secrets.items.insert(apiTokenItem, "tok");
    for (const Reply& reply : rows) {
        SCOPED_TRACE(reply.status);
        server.queue("/balance", reply);
        EXPECT_EQ(await(auth.balance()), AuthorizedResult::response(reply.status, reply.body));
    }
    EXPECT_EQ(server.requestsTo("/enroll").size(), 0);
}

TEST_F(AuthStoreTest, TheTokenNeverFollowsARedirectToAnotherOrigin)
{
    LoopbackHttpServer elsewhere;
    elsewhere.serve("/steal", json(200, "{}"));
    secrets.items.insert(apiTokenItem, "secret-token");
    server.queue("/history", Reply { 302, { { "Location", elsewhere.url("/steal").toEncoded() } }, {} });
    EXPECT_EQ(await(auth.history()), AuthorizedResult::failure(texts::cannotReach));
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}

TEST_F(AuthStoreTest, NoLogLineEverCarriesAToken)
{
    LogCapture log;
    secrets.items.insert(apiTokenItem, "old-secret-1");
    server.queue("/generate", json(401, "{}"));
    server.queue("/generate", json(401, "{}"));
    server.queue("/enroll", json(200, tokenReply("new-secret-2")));
    await(auth.generate(QJsonObject { { QStringLiteral("prompt"), QStringLiteral("p") } }));
    for (const QString& line : log.messages())
        for (const char* secret : { "old-secret-1", "new-secret-2" })
            EXPECT_FALSE(line.contains(QLatin1String(secret))) << line.toStdString();
}

TEST_F(AuthStoreTest, PromptCheckRepliesBecomeVerdictsDelaysOrNoCheck)
{
    using Kind = app::PromptCheckResult::Kind;
    const std::pair<Reply, app::PromptCheckResult> rows[] = {
        { json(200, R"({"checked":true,"ok":true})"), { Kind::approved, 0 } },
        { json(200, R"({"checked":true,"ok":false})"), { Kind::rejected, 0 } },
        { json(200, R"({"checked":true,"ok":1})"), { Kind::notChecked, 0 } },
        { json(200, R"({"checked":false,"ok":true})"), { Kind::notChecked, 0 } },
        { cut(R"({"checked":true,"ok":true})"), { Kind::notChecked, 0 } },
        { json(429, R"({"retry_after":120})"), { Kind::retryAfter, 30 } },
        { json(429, R"({"retry_after":-5})"), { Kind::retryAfter, 0 } },
        { json(429, R"({"retry_after":"7"})"), { Kind::retryAfter, 5 } },
        { json(429, R"({"retry_after":1e300})"), { Kind::retryAfter, 30 } },
    };
    secrets.items.insert(apiTokenItem, "tok");
    for (const auto& [reply, expected] : rows) {
        SCOPED_TRACE(reply.body.constData());
        LogCapture log;
        server.queue("/vet-prompt", reply);
        EXPECT_EQ(await(auth.vetPrompt({ "a cat", "anime", "drift", "dreamy", identity.identifier })), expected);
        if (expected.kind == Kind::notChecked) {
            EXPECT_TRUE(log.contains("Prompt pre-check didn't complete; the job's own vetting still applies."));
        }
    }
    EXPECT_EQ(server.requestsTo("/vet-prompt").last().headers.value("authorization"), "Bearer tok");
}

TEST_F(AuthStoreTest, StalledCallsEndAtTheirTimeouts)
{
    app::ServiceConfig impatient = config();
    impatient.shortTimeout = impatient.pollTimeout = 200ms;
    app::AuthStore quick(session, secrets, identity, system, impatient);
    server.serve("/enroll", silent);
    server.serve("/jobs/slow", silent);
    EXPECT_EQ(await(quick.enroll()), std::nullopt);
    EXPECT_EQ(await(quick.pollJob("slow")), std::nullopt);
}

TEST_F(AuthStoreTest, AnAnswerThatNeverEndsIsCutOffAsLostContact)
{
    secrets.items.insert(apiTokenItem, "tok");
    server.serve("/balance", Reply { 200, {}, R"({"credits":3,"paid":false})", Reply::Mode::Endless });
    EXPECT_EQ(await(auth.balance()), AuthorizedResult::failure(texts::cannotReach));
    EXPECT_LT(server.streamedBytes(), app::maximumReplyBytes + kLoopbackBufferSlack)
        << "the transfer stops at the bound, not when memory runs out";
}

TEST(ServiceReplies, AJobIdCannotLeaveTheJobsPath)
{
    const app::ServiceConfig config { QStringLiteral("https://svc.example") };
    for (const char* id : { "../enroll", "a?user=x", "a#b", "@evil.example/x" }) {
        const QUrl url = app::endpoints::job(config, id).url;
        EXPECT_EQ(url.host(), "svc.example") << id;
        EXPECT_FALSE(url.hasQuery() || url.hasFragment()) << id;
        EXPECT_EQ(url.path(QUrl::FullyDecoded), "/jobs/" + QString::fromLatin1(id));
    }
}

TEST(ServiceReplies, BalanceIntegersMayArriveAsFloatsAndWrongTypesTakeDefaults)
{
    using app::BalanceReply;
    const std::pair<AuthorizedResult, std::optional<BalanceReply>> rows[] = {
        { AuthorizedResult::response(200, R"({"credits":3.0,"paid":true,"resets":"2026-11-30"})"),
            BalanceReply { 3, true, QStringLiteral("2026-11-30") } },
        { AuthorizedResult::response(200, R"({"credits":9007199254740993})"),
            BalanceReply { 9007199254740993, false, {} } },
        { AuthorizedResult::response(200, R"({"credits":"8","paid":1,"resets":20261130})"), BalanceReply {} },
        { AuthorizedResult::response(200, R"({"credits":2.5})"), BalanceReply {} },
        { AuthorizedResult::response(200, R"({"credits":1e30})"), BalanceReply {} },
        { AuthorizedResult::response(500, R"({"credits":8})"), std::nullopt },
        { AuthorizedResult::response(200, "[8]"), std::nullopt },
    };
    for (const auto& [result, expected] : rows)
        EXPECT_EQ(app::readBalance(result), expected) << result.body().constData();
}

} // namespace
} // namespace quorvel::testing
