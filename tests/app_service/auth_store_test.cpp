#include "app/service/service_json.h"
#include "service_fixture.h"
#include "support/coro.h"
#include "support/log_capture.h"

#include <QJsonDocument>
#include <QSignalSpy>

namespace quorvel::testing {
namespace {

using app::AuthorizedResult;
namespace texts = app::texts;

const QString enrollmentFailedLine = QStringLiteral("Enrollment failed; the app will retry on the next authed call.");

class AuthStoreTest : public ServiceFixture { };

TEST_F(AuthStoreTest, OnlyANonEmptyUtf8ItemCountsAsAToken)
{
    struct Row {
        const char* name;
        std::optional<QByteArray> item;
        std::optional<QString> expected;
    } rows[] = {
        { "missing item", std::nullopt, std::nullopt },
        { "empty item", QByteArray(""), std::nullopt },
        { "invalid UTF-8", QByteArray("\xff\xfe\xfd"), std::nullopt },
        { "plain token", QByteArray("tok-1"), QStringLiteral("tok-1") },
        { "non-ASCII token", QByteArray("t\xc3\xb6k"), QStringLiteral("t\u00f6k") },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        secrets.items.clear();
        if (row.item)
            setStoredToken(*row.item);
        EXPECT_EQ(await(auth.readToken()), row.expected);
    }
}

TEST_F(AuthStoreTest, StoringReplacesTheOldItemAndReportsAFailedAdd)
{
    setStoredToken("old");
    EXPECT_TRUE(await(auth.storeToken(QStringLiteral("new"))));
    EXPECT_EQ(storedToken(), QByteArray("new"));

    secrets.failAdds = true;
    EXPECT_FALSE(await(auth.storeToken(QStringLiteral("newer"))));
    // Delete-then-add: a failed add leaves no stale token behind to be sent again.
    EXPECT_EQ(storedToken(), std::nullopt);
}

TEST_F(AuthStoreTest, EnrollmentAcceptsOnlyA200WithANonEmptyStringToken)
{
    struct Row {
        const char* name;
        FaultReply reply;
        std::optional<QString> expected;
    } rows[] = {
        { "good token", FaultReply::json(200, R"({"token":"abc","extra":1})"), QStringLiteral("abc") },
        { "empty token", FaultReply::json(200, R"({"token":""})"), std::nullopt },
        { "token of the wrong type", FaultReply::json(200, R"({"token":12345})"), std::nullopt },
        { "no token", FaultReply::json(200, R"({})"), std::nullopt },
        { "array body", FaultReply::json(200, R"(["abc"])"), std::nullopt },
        { "not JSON", FaultReply::json(200, "<html>"), std::nullopt },
        { "token on a 201", FaultReply::json(201, R"({"token":"abc"})"), std::nullopt },
        { "token on a 500", FaultReply::json(500, R"({"token":"abc"})"), std::nullopt },
        { "connection cut mid-reply", FaultReply::cut(R"({"token":"abcdefghijklmnop"})"), std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        server.reply("/enroll", row.reply);
        EXPECT_EQ(await(auth.enroll()), row.expected);
        EXPECT_EQ(log.contains(enrollmentFailedLine), !row.expected.has_value());
    }
    EXPECT_EQ(storedToken(), std::nullopt) << "enroll itself never stores";
}

TEST_F(AuthStoreTest, EnrollmentSendsTheMachineWithBuildHeaderAndNoToken)
{
    setStoredToken("must-not-be-sent");
    server.reply("/enroll", FaultReply::json(200, tokenReply("abc")));
    await(auth.enroll());

    ASSERT_EQ(server.requests.size(), 1u);
    const RecordedRequest& request = server.requests.front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("X-Quorvel-Build"), "42");
    EXPECT_FALSE(request.hasHeader("Authorization"));
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object(),
        QJsonObject({ { QStringLiteral("machine"), identity.identifier } }));
}

TEST_F(AuthStoreTest, EnrollmentGivesUpOnAServiceThatNeverAnswers)
{
    app::ServiceConfig impatient = config();
    impatient.shortTimeout = std::chrono::milliseconds(200);
    app::AuthStore store(session, secrets, identity, system, impatient);
    server.reply("/enroll", FaultReply::silent());
    LogCapture log;
    EXPECT_EQ(await(store.enroll()), std::nullopt);
    EXPECT_TRUE(log.contains(enrollmentFailedLine));
}

TEST_F(AuthStoreTest, EnsureEnrolledPublishesProgressAndEachFailureText)
{
    struct Row {
        const char* name;
        std::optional<QByteArray> stored;
        std::optional<FaultReply> enrollReply;
        bool addFails;
        bool expected;
        std::optional<QString> error;
        int enrollRequests;
    } rows[] = {
        { "enrolls and stores", std::nullopt, FaultReply::json(200, tokenReply("fresh")), false, true, std::nullopt,
            1 },
        { "service refuses", std::nullopt, FaultReply::json(500, "{}"), false, false, texts::cannotEnroll, 1 },
        { "keychain refuses", std::nullopt, FaultReply::json(200, tokenReply("fresh")), true, false,
            texts::cannotSaveCredentials, 1 },
        // Comes after a failure: success must clear the earlier error.
        { "token already stored", QByteArray("have"), std::nullopt, false, true, std::nullopt, 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        secrets.items.clear();
        secrets.failAdds = row.addFails;
        server.requests.clear();
        if (row.stored)
            setStoredToken(*row.stored);
        if (row.enrollReply)
            server.reply("/enroll", *row.enrollReply);
        QSignalSpy enrolling(&auth, &app::AuthStore::enrollingChanged);

        EXPECT_EQ(await(auth.ensureEnrolled()), row.expected);
        EXPECT_EQ(auth.enrollmentError(), row.error);
        EXPECT_FALSE(auth.enrolling());
        EXPECT_EQ(enrolling.count(), row.enrollRequests ? 2 : 0);
        EXPECT_EQ(server.requestsTo("/enroll").size(), size_t(row.enrollRequests));
    }
}

// One authorized call through every branch of token, send, re-enrollment and retry.
TEST_F(AuthStoreTest, AuthorizedRequestOutcomes)
{
    struct Row {
        const char* name;
        std::optional<QByteArray> stored;
        QList<FaultReply> balanceReplies;
        QList<FaultReply> enrollReplies;
        bool addFails;
        AuthorizedResult expected;
        std::optional<QByteArray> storedAfter;
        QList<QByteArray> bearers; // Authorization headers seen, in order
    };
    const Row rows[] = {
        { "stored token used", "tok", { FaultReply::json(200, "{}") }, {}, false, AuthorizedResult::response(200, "{}"),
            "tok", { "Bearer tok" } },
        { "4xx and 5xx are responses", "tok", { FaultReply::json(404, "nope") }, {}, false,
            AuthorizedResult::response(404, "nope"), "tok", { "Bearer tok" } },
        { "no token enrolls first", std::nullopt, { FaultReply::json(200, "{}") },
            { FaultReply::json(200, tokenReply("new")) }, false, AuthorizedResult::response(200, "{}"), "new",
            { "Bearer new" } },
        { "empty stored token enrolls", "", { FaultReply::json(200, "{}") },
            { FaultReply::json(200, tokenReply("new")) }, false, AuthorizedResult::response(200, "{}"), "new",
            { "Bearer new" } },
        { "no token and enrollment fails", std::nullopt, {}, { FaultReply::json(200, R"({"token":""})") }, false,
            AuthorizedResult::failure(texts::cannotEnroll), std::nullopt, {} },
        { "no token and keychain refuses", std::nullopt, {}, { FaultReply::json(200, tokenReply("new")) }, true,
            AuthorizedResult::failure(texts::cannotSaveCredentials), std::nullopt, {} },
        { "connection cut", "tok", { FaultReply::cut(R"({"credits":5,"paid":false})") }, {}, false,
            AuthorizedResult::failure(texts::cannotReach), "tok", { "Bearer tok" } },
        { "401 then 500 is the 500", "old", { FaultReply::json(401, "{}"), FaultReply::json(500, "boom") },
            { FaultReply::json(200, tokenReply("new")) }, false, AuthorizedResult::response(500, "boom"), "new",
            { "Bearer old", "Bearer new" } },
        { "401 twice keeps the new token", "old", { FaultReply::json(401, "{}"), FaultReply::json(401, "{}") },
            { FaultReply::json(200, tokenReply("new")) }, false, AuthorizedResult::failure(texts::cannotVerify), "new",
            { "Bearer old", "Bearer new" } },
        { "401 and re-enrollment fails", "old", { FaultReply::json(401, "{}") }, { FaultReply::json(500, "{}") }, false,
            AuthorizedResult::failure(texts::cannotEnroll), std::nullopt, { "Bearer old" } },
        { "401 and keychain refuses", "old", { FaultReply::json(401, "{}") },
            { FaultReply::json(200, tokenReply("new")) }, true, AuthorizedResult::failure(texts::cannotSaveCredentials),
            std::nullopt, { "Bearer old" } },
        { "401 then the retry is cut", "old", { FaultReply::json(401, "{}"), FaultReply::cut("{\"credits\":1}") },
            { FaultReply::json(200, tokenReply("new")) }, false, AuthorizedResult::failure(texts::cannotReach), "new",
            { "Bearer old", "Bearer new" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        secrets.items.clear();
        secrets.failAdds = row.addFails;
        server.requests.clear();
        if (row.stored)
            setStoredToken(*row.stored);
        for (const FaultReply& reply : row.balanceReplies)
            server.reply("/balance", reply);
        for (const FaultReply& reply : row.enrollReplies)
            server.reply("/enroll", reply);

        EXPECT_EQ(await(auth.balance()), row.expected);
        EXPECT_EQ(storedToken(), row.storedAfter);
        QList<QByteArray> bearers;
        for (const RecordedRequest& request : server.requestsTo("/balance")) {
            bearers << request.header("Authorization");
            EXPECT_EQ(request.header("X-Quorvel-Build"), "42");
            EXPECT_EQ(request.target, "/balance?user=" + identity.identifier.toUtf8());
        }
        EXPECT_EQ(bearers, row.bearers);
    }
}

TEST_F(AuthStoreTest, TheTokenNeverFollowsARedirectToAnotherOrigin)
{
    FaultServer elsewhere;
    elsewhere.always("/steal", FaultReply::json(200, "{}"));
    setStoredToken("secret-token");
    server.reply("/history", FaultReply::redirect(elsewhere.baseUrl() + "/steal"));

    EXPECT_EQ(await(auth.history()), AuthorizedResult::failure(texts::cannotReach));
    EXPECT_TRUE(elsewhere.requests.empty());
}

TEST_F(AuthStoreTest, AMissingBuildNumberLeavesTheHeaderOffButStillSends)
{
    system.buildVersion.reset();
    server.reply("/enroll", FaultReply::json(200, tokenReply("t")));
    server.reply("/balance", FaultReply::json(200, "{}"));
    EXPECT_EQ(await(auth.balance()), AuthorizedResult::response(200, "{}"));
    ASSERT_EQ(server.requests.size(), 2u);
    for (const RecordedRequest& request : server.requests)
        EXPECT_FALSE(request.hasHeader("X-Quorvel-Build")) << request.path.constData();
}

TEST_F(AuthStoreTest, AnUnreadableMachineEnrollsAndQueriesAsUnknown)
{
    identity.identifier = QStringLiteral("unknown");
    server.reply("/enroll", FaultReply::json(200, tokenReply("t")));
    server.reply("/history", FaultReply::json(200, R"({"videos":[]})"));
    await(auth.history());
    ASSERT_EQ(server.requests.size(), 2u);
    EXPECT_EQ(QJsonDocument::fromJson(server.requests[0].body)["machine"].toString(), "unknown");
    EXPECT_EQ(server.requests[1].target, "/history?user=unknown");
}

TEST_F(AuthStoreTest, NoLogLineEverCarriesAToken)
{
    LogCapture log;
    setStoredToken("old-secret-1");
    server.reply("/generate", FaultReply::json(401, "{}"));
    server.reply("/generate", FaultReply::json(401, "{}"));
    server.reply("/enroll", FaultReply::json(200, tokenReply("new-secret-2")));
    await(auth.generate(QJsonObject { { QStringLiteral("prompt"), QStringLiteral("p") } }));
    server.reply("/enroll", FaultReply::json(500, tokenReply("new-secret-3")));
    await(auth.enroll());
    for (const QString& line : log.messages())
        for (const char* secret : { "old-secret-1", "new-secret-2", "new-secret-3" })
            EXPECT_FALSE(line.contains(QLatin1String(secret))) << line.toStdString();
}

} // namespace
} // namespace quorvel::testing
