// The JSON endpoints over real HTTP: tokens, credits, jobs, vetting, library and feed, bad input.
#include "service_fixture.h"

#include <QJsonArray>
#include <QRegularExpression>

using namespace quorvel::testing;

namespace {

using ServiceApiTest = ServiceFixture<>;

TEST_F(ServiceApiTest, EnrollIssuesDistinctTokensThatAllStayValid)
{
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{64}$").match(token).hasMatch()) << token.toStdString();
    const QString second = client->enroll(machine);
    EXPECT_NE(second, token);
    EXPECT_EQ(client->get("/balance?user=" + machine, token).status, 200) << "an earlier token is not revoked";
    EXPECT_EQ(client->get("/balance?user=" + machine, second).status, 200);
}

TEST_F(ServiceApiTest, EnrollRejectsBadBodies)
{
    for (const QByteArray& body : { QByteArray("{}"), QByteArray(R"({"machine":""})"), QByteArray(R"({"machine":7})"),
             QByteArray("not json"), QByteArray("[]") }) {
        const HttpResult result = client->send("POST", "/enroll", body, { { "Content-Type", "application/json" } });
        EXPECT_EQ(result.status, 400) << body.toStdString();
        EXPECT_TRUE(result.json().value("message").isString()) << body.toStdString();
    }
}

TEST_F(ServiceApiTest, BearerEndpointsAnswer401WithoutAKnownToken)
{
    struct Endpoint {
        QByteArray method;
        QString path;
    };
    const std::vector<Endpoint> endpoints { { "GET", "/balance?user=" + machine },
        { "GET", "/history?user=" + machine }, { "POST", "/generate" }, { "POST", "/vet-prompt" },
        { "PATCH", "/title" }, { "PATCH", "/publish" }, { "POST", "/debug-access" } };
    const std::vector<QByteArray> authorizations { "", "Bearer ", "Bearer not-a-token", "Basic " + token.toUtf8(),
        token.toUtf8() };
    for (const Endpoint& endpoint : endpoints) {
        for (const QByteArray& authorization : authorizations) {
            std::vector<std::pair<QByteArray, QByteArray>> headers { { "Content-Type", "application/json" } };
            if (!authorization.isEmpty())
                headers.emplace_back("Authorization", authorization);
            const HttpResult result = client->send(endpoint.method, endpoint.path, "{}", headers);
            EXPECT_EQ(result.status, 401)
                << endpoint.path.toStdString() << " with '" << authorization.toStdString() << "'";
            EXPECT_EQ(result.json().value("error").toString(), "unauthorized");
        }
    }
}

TEST_F(ServiceApiTest, ATokenSpeaksOnlyForItsOwnMachine)
{
    const QString other = "OTHER-" + machine;
    client->enroll(other);
    EXPECT_EQ(client->get("/balance?user=" + other, token).status, 403);
    EXPECT_EQ(client->get("/history?user=" + other, token).status, 403);
    QJsonObject body = recipe();
    body["user"] = other;
    EXPECT_EQ(generate(body).status, 403);
    EXPECT_EQ(credits(), 20) << "nothing was charged";
}

TEST_F(ServiceApiTest, BalanceReportsCreditsPaidAndResetDay)
{
    const QJsonObject balance = client->get("/balance?user=" + machine, token).json();
    EXPECT_EQ(balance.value("credits").toInt(-1), 20);
    EXPECT_TRUE(balance.value("paid").isBool());
    EXPECT_FALSE(balance.value("paid").toBool());
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}$").match(balance.value("resets").toString()).hasMatch());
    EXPECT_EQ(client->get("/balance", token).status, 400) << "the user query is required";
}

TEST_F(ServiceApiTest, GenerationChargesByTierAndEndsWithAClip)
{
    const QString clip = makeClip();
    EXPECT_TRUE(clip.startsWith(service->cdnUrl() + "clips/")) << clip.toStdString();
    EXPECT_EQ(credits(), 19) << "Lite costs 1";
    generate(recipe("a second fox", false));
    EXPECT_EQ(credits(), 14) << "Standard costs 5";
}

TEST_F(ServiceApiTest, JobPollNeedsNoTokenAndCarriesNoErrorKey)
{
    const QString job = generate(recipe()).json().value("job").toString();
    ASSERT_FALSE(job.isEmpty());
    const HttpResult poll = client->send("GET", "/jobs/" + job);
    EXPECT_EQ(poll.status, 200);
    const QJsonObject status = poll.json();
    EXPECT_FALSE(status.contains("error")) << "the app treats any error key as a failed poll";
    EXPECT_TRUE(status.value("log").toString().contains("animating..."));
    EXPECT_TRUE(status.value("done").toBool());
    for (const QString& bad : { QString("0123"), QString("..%2Fenroll"), job.toUpper(), job + "0" })
        EXPECT_EQ(client->get("/jobs/" + bad).status, 404) << bad.toStdString();
}

TEST_F(ServiceApiTest, RefusedPromptEndsTheJobWithTheMarkerAndCostsNothing)
{
    const QString job = generate(recipe("a bloody battlefield")).json().value("job").toString();
    ASSERT_FALSE(job.isEmpty());
    const QJsonObject status = client->get("/jobs/" + job).json();
    EXPECT_TRUE(status.value("done").toBool());
    EXPECT_FALSE(status.value("ok").toBool());
    EXPECT_FALSE(status.contains("clip"));
    EXPECT_TRUE(status.value("log").toString().contains("INAPPROPRIATE"));
    EXPECT_EQ(credits(), 20);
}

TEST_F(ServiceApiTest, OutOfCreditsIsAMessageWithoutAJob)
{
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(generate(recipe("fox " + QString::number(i), false)).status, 200);
    const HttpResult standard = generate(recipe("one more", false));
    EXPECT_EQ(standard.status, 402);
    EXPECT_FALSE(standard.json().contains("job"));
    EXPECT_EQ(standard.json().value("error").toString(), "out_of_credits");
    EXPECT_FALSE(standard.json().value("message").toString().isEmpty());
    EXPECT_EQ(credits(), 0);
    EXPECT_TRUE(generate(recipe("lite", true)).json().value("message").toString().contains("fresh out"));
}

TEST_F(ServiceApiTest, InvalidRecipesAreRefusedWithAMessageAndCostNothing)
{
    struct Case {
        const char* name;
        QString key;
        QJsonValue value; // Undefined removes the key
    };
    const std::vector<Case> cases {
        { "unknown style", "style", "Noir" },
        { "unknown motion", "motion", "slow-pan" },
        { "unknown vibe", "vibe", "angry" },
        { "empty prompt", "prompt", "" },
        { "blank prompt", "prompt", " \n\t " },
        { "prompt over 2000", "prompt", QString(2001, 'a') },
        { "prompt not a string", "prompt", 42 },
        { "lite as string", "lite", "true" },
        { "lite missing", "lite", QJsonValue(QJsonValue::Undefined) },
        { "user missing", "user", QJsonValue(QJsonValue::Undefined) },
        { "soundscape other than none", "soundscape", "rain" },
        { "style null", "style", QJsonValue(QJsonValue::Null) },
        { "handle too long", "handle", QString(65, 'h') },
        { "debug not a boolean", "debug", "yes" },
    };
    for (const Case& c : cases) {
        QJsonObject body = recipe();
        if (c.value.isUndefined())
            body.remove(c.key);
        else
            body[c.key] = c.value;
        const HttpResult result = generate(body);
        EXPECT_EQ(result.status, 400) << c.name;
        EXPECT_FALSE(result.json().value("message").toString().isEmpty()) << c.name;
        EXPECT_FALSE(result.json().contains("job")) << c.name;
    }
    EXPECT_EQ(credits(), 20);
    EXPECT_EQ(generate(recipe("  " + QString(2000, 'a') + "  ")).status, 200)
        << "2000 characters after trimming are fine";
}

TEST_F(ServiceApiTest, DebugCredentialsSkipChargesOnlyWhenTheyMatch)
{
    QJsonObject body = recipe();
    body["debug"] = true;
    body["debug_machine"] = kDebugMachine;
    body["debug_token"] = kDebugToken;
    EXPECT_EQ(generate(body).status, 200);
    EXPECT_EQ(credits(), 20);

    body["debug_token"] = "wrong";
    const HttpResult denied = generate(body);
    EXPECT_EQ(denied.status, 403);
    EXPECT_EQ(denied.json().value("error").toString(), "debug_denied");
    body.remove("debug_token");
    EXPECT_EQ(generate(body).status, 403);
}

TEST_F(ServiceApiTest, OldOrMissingBuildsMustUpdate)
{
    for (const QByteArray& build : { QByteArray("4"), QByteArray(""), QByteArray("abc"), QByteArray("-9") }) {
        const HttpResult result = generate(recipe(), build);
        EXPECT_EQ(result.status, 426) << "build '" << build.toStdString() << "'";
        EXPECT_EQ(result.json().value("error").toString(), "update_required");
    }
    EXPECT_EQ(generate(recipe(), "5").status, 200);
    EXPECT_EQ(generate(recipe(), "6").status, 200);
}

TEST_F(ServiceApiTest, DebugAccessAllowsOnlyTheConfiguredPair)
{
    const auto check = [&](const QString& machineValue, const QString& tokenValue) {
        return client->postJson("/debug-access", { { "machine", machineValue }, { "token", tokenValue } }, token);
    };
    EXPECT_TRUE(check(kDebugMachine, kDebugToken).json().value("allowed").toBool());
    EXPECT_TRUE(check(kDebugMachine.toUpper(), kDebugToken).json().value("allowed").toBool())
        << "hex case does not matter";
    EXPECT_FALSE(check(kDebugMachine, kDebugToken + "x").json().value("allowed").toBool(true));
    EXPECT_FALSE(check(QString("cd").repeated(32), kDebugToken).json().value("allowed").toBool(true));
    EXPECT_FALSE(check("", "").json().value("allowed").toBool(true));
    EXPECT_EQ(client->postJson("/debug-access", { { "machine", kDebugMachine } }, token).status, 400);
}

TEST_F(ServiceApiTest, VetPromptRefusesWordsAndThrottlesBursts)
{
    const auto vet = [&](const QString& prompt) {
        return client->postJson("/vet-prompt",
            { { "prompt", prompt }, { "style", "noir" }, { "motion", "drift" }, { "vibe", "calm" },
                { "soundscape", "none" }, { "user", machine } },
            token);
    };
    const QJsonObject fine = vet("a calm sea").json();
    EXPECT_TRUE(fine.value("checked").toBool());
    EXPECT_TRUE(fine.value("ok").toBool());
    const QJsonObject refused = vet("a naked blade").json();
    EXPECT_TRUE(refused.value("checked").toBool());
    EXPECT_FALSE(refused.value("ok").toBool(true));
    vet("third");
    const HttpResult throttled = vet("fourth in the same second");
    ASSERT_EQ(throttled.status, 429);
    const QJsonValue retryAfter = throttled.json().value("retry_after");
    ASSERT_TRUE(retryAfter.isDouble());
    EXPECT_GT(retryAfter.toDouble(), 0.0);
    EXPECT_LE(retryAfter.toDouble(), 1.0);
    EXPECT_EQ(client->postJson("/vet-prompt", { { "prompt", 3 } }, token).status, 400);
}

TEST_F(ServiceApiTest, TitlePublishHistoryAndFeedFollowEachOther)
{
    const QString first = makeClip("first fox");
    const QString second = makeClip("second fox");
    ASSERT_FALSE(first.isEmpty());

    QJsonArray videos = client->get("/history?user=" + machine, token).json().value("videos").toArray();
    ASSERT_EQ(videos.size(), 2);
    QJsonObject item = videos.at(0).toObject();
    EXPECT_EQ(item.value("url").toString(), second) << "newest first";
    EXPECT_EQ(item.value("author").toString(), "foxfan");
    EXPECT_EQ(item.value("prompt").toString(), "second fox");
    EXPECT_EQ(item.value("style").toString(), "noir");
    EXPECT_EQ(item.value("motion").toString(), "slow pan");
    EXPECT_EQ(item.value("vibe").toString(), "dreamy");
    EXPECT_EQ(item.value("tier").toString(), "Lite");
    EXPECT_EQ(item.value("soundscape").toString(), "none");
    EXPECT_EQ(item.value("title").toString(), "");
    EXPECT_TRUE(item.value("approved").isBool());
    EXPECT_FALSE(item.value("approved").toBool());
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}$").match(item.value("date").toString()).hasMatch());

    const QJsonObject titled { { "url", first }, { "title", "  Spaced <b>title</b>  " }, { "user", machine } };
    EXPECT_EQ(client->patchJson("/title", titled, token).status, 200);
    videos = client->get("/history?user=" + machine, token).json().value("videos").toArray();
    EXPECT_EQ(videos.at(1).toObject().value("title").toString(), "  Spaced <b>title</b>  ") << "stored as sent";

    const auto feedUrls = [&] {
        QStringList urls;
        for (const QJsonValue& video : client->get("/feed?t=1&user=" + machine).json().value("videos").toArray())
            urls << video.toObject().value("url").toString();
        return urls;
    };
    EXPECT_FALSE(feedUrls().contains(first)) << "unpublished clips stay out of the feed";
    EXPECT_EQ(
        client->patchJson("/publish", { { "url", first }, { "title", "" }, { "user", machine } }, token).status, 200);
    EXPECT_EQ(
        client->patchJson("/publish", { { "url", second }, { "title", "Second" }, { "user", machine } }, token).status,
        200);
    const QStringList urls = feedUrls();
    ASSERT_GE(urls.size(), 2);
    EXPECT_EQ(urls.at(0), second) << "newest publication first";
    EXPECT_EQ(urls.at(1), first);

    const QJsonObject top = client->get("/feed?t=1&user=x").json().value("videos").toArray().at(0).toObject();
    EXPECT_EQ(top.value("title").toString(), "Second");
    EXPECT_EQ(top.value("author").toString(), "foxfan");
    EXPECT_EQ(top.value("location").toString(), "Test Bench");
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}$").match(top.value("date").toString()).hasMatch());
    ASSERT_EQ(
        client->patchJson("/title", { { "url", second }, { "title", "Renamed" }, { "user", machine } }, token).status,
        200);
    EXPECT_EQ(
        client->get("/feed?t=2&user=x").json().value("videos").toArray().at(0).toObject().value("title").toString(),
        "Renamed")
        << "a new title reaches the feed at once";
    videos = client->get("/history?user=" + machine, token).json().value("videos").toArray();
    EXPECT_TRUE(videos.at(1).toObject().value("approved").toBool());
    EXPECT_EQ(videos.at(1).toObject().value("title").toString(), "  Spaced <b>title</b>  ")
        << "empty publish title keeps it";
}

TEST_F(ServiceApiTest, ClipUpdatesRefuseForeignUnknownAndOversizedInput)
{
    const QString clip = makeClip();
    const QString other = "OTHER-" + machine;
    const QString otherToken = client->enroll(other);
    EXPECT_EQ(
        client->patchJson("/title", { { "url", clip }, { "title", "mine now" }, { "user", other } }, otherToken).status,
        404);
    EXPECT_EQ(
        client->patchJson("/publish", { { "url", clip }, { "title", "" }, { "user", other } }, otherToken).status, 404);
    const QString unknown = service->cdnUrl() + "clips/" + QString(32, 'f') + ".mp4";
    EXPECT_EQ(
        client->patchJson("/title", { { "url", unknown }, { "title", "x" }, { "user", machine } }, token).status, 404);
    EXPECT_EQ(
        client->patchJson("/title", { { "url", "javascript:alert(1)" }, { "title", "x" }, { "user", machine } }, token)
            .status,
        404);
    EXPECT_EQ(
        client->patchJson("/title", { { "url", clip }, { "title", QString(201, 't') }, { "user", machine } }, token)
            .status,
        400);
    EXPECT_EQ(client->patchJson("/title", { { "url", clip }, { "user", machine } }, token).status, 400);
    EXPECT_EQ(client->patchJson("/title", { { "url", clip }, { "title", 5 }, { "user", machine } }, token).status, 400);
}

TEST_F(ServiceApiTest, MalformedOversizedUnknownAndWrongMethodRequestsGetJsonErrors)
{
    struct Case {
        const char* name;
        QByteArray method;
        QString path;
        QByteArray body;
        int status;
        QString error;
    };
    const QByteArray bigBody = "{\"prompt\":\"" + QByteArray(70 * 1024, 'a') + "\"}";
    const std::vector<Case> cases {
        { "malformed json", "POST", "/generate", "{\"prompt\":", 400, "bad_json" },
        { "array body", "POST", "/generate", "[1,2]", 400, "bad_json" },
        { "string body", "POST", "/vet-prompt", "\"hi\"", 400, "bad_json" },
        { "empty body", "PATCH", "/title", "", 400, "bad_json" },
        { "body over 64 KiB", "POST", "/generate", bigBody, 413, "too_large" },
        { "unknown path", "GET", "/no/such/thing", "", 404, "not_found" },
        { "wrong method on generate", "GET", "/generate", "", 405, "method_not_allowed" },
        { "wrong method on title", "POST", "/title", "{}", 405, "method_not_allowed" },
        { "wrong method on feed", "DELETE", "/feed", "", 405, "method_not_allowed" },
    };
    for (const Case& c : cases) {
        const HttpResult result = client->send(c.method, c.path, c.body,
            { { "Content-Type", "application/json" }, { "Authorization", "Bearer " + token.toUtf8() },
                { "X-Quorvel-Build", "9" } });
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.json().value("error").toString(), c.error) << c.name;
        EXPECT_FALSE(result.json().value("message").toString().isEmpty()) << c.name;
    }
    EXPECT_EQ(credits(), 20);
    EXPECT_EQ(client->get("/balance?user=" + machine, token).status, 200) << "still serving";
}

} // namespace
