// The JSON endpoints over real HTTP: tokens, credits, jobs, vetting, library and feed, bad input.
#include "service_fixture.h"

#include <QRegularExpression>

using namespace quorvel::testing;

namespace {

using ServiceApiTest = ServiceFixture<>;

bool isDate(const QJsonValue& value)
{
    return QRegularExpression("^\\d{4}-\\d{2}-\\d{2}$").match(value.toString()).hasMatch();
}

TEST_F(ServiceApiTest, EnrollIssuesDistinctLastingTokensAndRejectsBadBodies)
{
    const QString second = client->enroll(machine);
    EXPECT_NE(second, token);
    EXPECT_EQ(client->get("/balance?user=" + machine, token).status, 200) << "an earlier token is not revoked";
    EXPECT_EQ(client->get("/balance?user=" + machine, second).status, 200);
    for (const QByteArray body : { "{}", R"({"machine":""})", R"({"machine":7})", "not json", "[]" }) {
        const HttpResult result = client->send("POST", "/enroll", body, { { "Content-Type", "application/json" } });
        EXPECT_EQ(result.status, 400) << body.toStdString();
        EXPECT_TRUE(result.json().value("message").isString()) << body.toStdString();
    }
}

TEST_F(ServiceApiTest, BearerEndpointsAnswer401WithoutAKnownTokenAnd403ForAnotherMachine)
{
    const std::vector<std::pair<QByteArray, QString>> endpoints { { "GET", "/balance?user=" + machine },
        { "GET", "/history?user=" + machine }, { "POST", "/generate" }, { "POST", "/vet-prompt" },
        { "PATCH", "/title" }, { "PATCH", "/publish" }, { "POST", "/debug-access" } };
    for (const auto& [method, path] : endpoints) {
        for (const QByteArray& authorization : { QByteArray(), QByteArray("Bearer "), QByteArray("Bearer not-a-token"),
                 "Basic " + token.toUtf8(), token.toUtf8() }) {
            Headers headers { { "Content-Type", "application/json" } };
            if (!authorization.isEmpty())
                headers.emplace_back("Authorization", authorization);
            const HttpResult result = client->send(method, path, "{}", headers);
            EXPECT_EQ(result.status, 401) << path.toStdString() << " with '" << authorization.toStdString() << "'";
            EXPECT_EQ(result.error(), "unauthorized");
        }
    }
    const QString other = "OTHER-" + machine;
    client->enroll(other);
    EXPECT_EQ(client->get("/balance?user=" + other, token).status, 403);
    EXPECT_EQ(client->get("/history?user=" + other, token).status, 403);
    QJsonObject body = recipe();
    body["user"] = other;
    EXPECT_EQ(generate(body).status, 403);
    EXPECT_EQ(credits(), 20) << "nothing was charged";
}

TEST_F(ServiceApiTest, GenerationChargesByTierUntilTheCreditsRunOut)
{
    const QJsonObject balance = client->get("/balance?user=" + machine, token).json();
    EXPECT_EQ(balance.value("credits").toInt(-1), 20);
    EXPECT_FALSE(balance.value("paid").toBool(true));
    EXPECT_TRUE(isDate(balance.value("resets")));
    EXPECT_EQ(client->get("/balance", token).status, 400) << "the user query is required";

    EXPECT_TRUE(makeClip().startsWith(service->cdnUrl() + "clips/"));
    EXPECT_EQ(credits(), 19) << "Lite costs 1";
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(generate(recipe("fox " + QString::number(i), false)).status, 200);
    EXPECT_EQ(credits(), 4) << "Standard costs 5";
    const HttpResult standard = generate(recipe("one more", false));
    EXPECT_EQ(standard.status, 402);
    EXPECT_FALSE(standard.json().contains("job"));
    EXPECT_EQ(standard.error(), "out_of_credits");
    EXPECT_EQ(credits(), 4);
    for (int i = 0; i < 4; ++i)
        generate(recipe("lite " + QString::number(i)));
    EXPECT_TRUE(generate(recipe("lite")).json().value("message").toString().contains("fresh out"));
}

TEST_F(ServiceApiTest, JobPollNeedsNoTokenAndRefusedPromptsEndWithTheMarkerForFree)
{
    const HttpResult accepted = generate(recipe());
    const QString job = accepted.json().value("job").toString();
    const HttpResult poll = client->send("GET", "/jobs/" + job);
    EXPECT_EQ(poll.status, 200);
    EXPECT_FALSE(poll.json().contains("error")) << "the app treats any error key as a failed poll";
    EXPECT_TRUE(poll.json().value("log").toString().contains("animating..."));
    for (const QString& bad : { QString("0123"), QString("..%2Fenroll"), job.toUpper(), job + "0" })
        EXPECT_EQ(client->get("/jobs/" + bad).status, 404) << bad.toStdString();

    const QJsonObject refused = this->job(generate(recipe("a bloody battlefield")));
    EXPECT_TRUE(refused.value("done").toBool());
    EXPECT_FALSE(refused.value("ok").toBool(true));
    EXPECT_FALSE(refused.contains("clip"));
    EXPECT_TRUE(refused.value("log").toString().contains("INAPPROPRIATE"));
    EXPECT_EQ(credits(), 19);
}

TEST_F(ServiceApiTest, BadSubmissionsAreRefusedWithAMessageAndCostNothing)
{
    struct Case {
        const char* name;
        QJsonObject changes;
        QByteArray build;
        int status;
        QString removed = {};
    };
    const std::vector<Case> cases {
        { "unknown style", { { "style", "Noir" } }, "7", 400 },
        { "unknown motion", { { "motion", "slow-pan" } }, "7", 400 },
        { "unknown vibe", { { "vibe", "angry" } }, "7", 400 },
        { "blank prompt", { { "prompt", " \n\t " } }, "7", 400 },
        { "prompt over 2000", { { "prompt", QString("\U0001F30A").repeated(2001) } }, "7", 400 },
        { "prompt not a string", { { "prompt", 42 } }, "7", 400 },
        { "lite as string", { { "lite", "true" } }, "7", 400 },
        { "lite missing", {}, "7", 400, "lite" },
        { "user missing", {}, "7", 400, "user" },
        { "soundscape other than none", { { "soundscape", "rain" } }, "7", 400 },
        { "style null", { { "style", QJsonValue::Null } }, "7", 400 },
        { "handle too long", { { "handle", QString(65, 'h') } }, "7", 400 },
        { "debug not a boolean", { { "debug", "yes" } }, "7", 400 },
        { "wrong debug token", { { "debug", true }, { "debug_machine", kDebugMachine }, { "debug_token", "x" } }, "7",
            403 },
        { "debug without token", { { "debug", true }, { "debug_machine", kDebugMachine } }, "7", 403 },
        { "old build", {}, "4", 426 },
        { "no build", {}, "", 426 },
        { "build not a number", {}, "abc", 426 },
        { "negative build", {}, "-9", 426 },
    };
    for (const Case& c : cases) {
        QJsonObject body = recipe();
        for (auto it = c.changes.begin(); it != c.changes.end(); ++it)
            body.insert(it.key(), it.value());
        body.remove(c.removed);
        const HttpResult result = generate(body, c.build);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_FALSE(result.json().value("message").toString().isEmpty()) << c.name;
        EXPECT_FALSE(result.json().contains("job")) << c.name;
        if (c.status != 400) {
            EXPECT_EQ(result.error(), c.status == 426 ? "update_required" : "debug_denied") << c.name;
        }
    }
    EXPECT_EQ(credits(), 20);
    EXPECT_EQ(generate(recipe("  " + QString("\U0001F30A").repeated(2000) + "  "), "5").status, 200)
        << "2000 characters (4000 UTF-16 units) after trimming, and the minimum build, are fine";
    QJsonObject free = recipe();
    free["debug"] = true;
    free["debug_machine"] = kDebugMachine;
    free["debug_token"] = kDebugToken;
    EXPECT_EQ(generate(free).status, 200);
    EXPECT_EQ(credits(), 19) << "the developer pair generates for free";
}

TEST_F(ServiceApiTest, DebugAccessAllowsOnlyTheConfiguredPair)
{
    const auto allowed = [&](const QString& machineValue, const QString& tokenValue) {
        return client->json("POST", "/debug-access", { { "machine", machineValue }, { "token", tokenValue } }, token)
            .json()
            .value("allowed")
            .toBool(true);
    };
    EXPECT_TRUE(allowed(kDebugMachine, kDebugToken));
    EXPECT_TRUE(allowed(kDebugMachine.toUpper(), kDebugToken)) << "hex case does not matter";
    EXPECT_FALSE(allowed(kDebugMachine, kDebugToken + "x"));
    EXPECT_FALSE(allowed(QString("cd").repeated(32), kDebugToken));
    EXPECT_FALSE(allowed("", ""));
    EXPECT_EQ(client->json("POST", "/debug-access", { { "machine", kDebugMachine } }, token).status, 400);
}

// Throttling is timed on the service clock, where a test can move time.
TEST_F(ServiceApiTest, VetPromptRefusesWordsAndBadBodies)
{
    const auto vet = [&](const QString& prompt) {
        return client->json("POST", "/vet-prompt",
            { { "prompt", prompt }, { "style", "noir" }, { "motion", "drift" }, { "vibe", "calm" },
                { "soundscape", "none" }, { "user", machine } },
            token);
    };
    const QJsonObject fine = vet("a calm sea").json();
    EXPECT_TRUE(fine.value("checked").toBool() && fine.value("ok").toBool());
    const QJsonObject refused = vet("a naked blade").json();
    EXPECT_TRUE(refused.value("checked").toBool());
    EXPECT_FALSE(refused.value("ok").toBool(true));
    EXPECT_EQ(client->json("POST", "/vet-prompt", { { "prompt", 3 } }, token).status, 400);
}

TEST_F(ServiceApiTest, TitlePublishHistoryAndFeedFollowEachOther)
{
    const QString first = makeClip("first fox");
    const QString second = makeClip("second fox");
    ASSERT_EQ(history().size(), 2);
    const QJsonObject item = history().at(0).toObject();
    EXPECT_EQ(item.value("url").toString(), second) << "newest first";
    const QJsonObject expected { { "author", "foxfan" }, { "prompt", "second fox" }, { "style", "noir" },
        { "motion", "slow pan" }, { "vibe", "dreamy" }, { "tier", "Lite" }, { "soundscape", "none" }, { "title", "" },
        { "approved", false } };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(item.value(it.key()), it.value()) << it.key().toStdString();
    EXPECT_TRUE(isDate(item.value("date")));

    const auto feed = [&](const QString& t) {
        return client->get("/feed?t=" + t + "&user=" + machine).json().value("videos").toArray();
    };
    EXPECT_EQ(update("/title", first, "  Spaced <b>title</b>  "), 200);
    for (const QJsonValue& video : feed("1"))
        EXPECT_NE(video.toObject().value("url").toString(), first) << "unpublished clips stay out of the feed";
    EXPECT_EQ(update("/publish", first, ""), 200);
    EXPECT_EQ(update("/publish", second, "Second"), 200);
    const QJsonArray published = feed("2");
    ASSERT_GE(published.size(), 2);
    EXPECT_EQ(published.at(1).toObject().value("url").toString(), first);
    const QJsonObject top = published.at(0).toObject();
    EXPECT_EQ(top.value("url").toString(), second) << "newest publication first";
    EXPECT_EQ(top.value("title").toString(), "Second");
    EXPECT_EQ(top.value("author").toString(), "foxfan");
    EXPECT_EQ(top.value("location").toString(), "Test Bench");
    EXPECT_TRUE(isDate(top.value("date")));
    ASSERT_EQ(update("/title", second, "Renamed"), 200);
    EXPECT_EQ(feed("3").at(0).toObject().value("title").toString(), "Renamed")
        << "a new title reaches the feed at once";
    const QJsonObject older = history().at(1).toObject();
    EXPECT_TRUE(older.value("approved").toBool());
    EXPECT_EQ(older.value("title").toString(), "  Spaced <b>title</b>  ")
        << "stored as sent; an empty publish keeps it";
}

TEST_F(ServiceApiTest, ClipUpdatesRefuseForeignUnknownAndMalformedInput)
{
    const QString clip = makeClip();
    const QJsonValue gone(QJsonValue::Undefined);
    const QString unknown = service->cdnUrl() + "clips/" + QString(32, 'f') + ".mp4";
    struct Case {
        const char* name;
        QString path, url;
        QJsonValue title;
        int status;
    };
    for (const Case& c : { Case { "unknown clip", "/title", unknown, "x", 404 },
             Case { "unpublishable clip", "/publish", unknown, "", 404 },
             Case { "not a clip address", "/title", "javascript:alert(1)", "x", 404 },
             Case { "title over 200", "/title", clip, QString(201, 't'), 400 },
             Case { "title missing", "/title", clip, gone, 400 },
             Case { "title not a string", "/title", clip, 5, 400 } })
        EXPECT_EQ(update(c.path, c.url, c.title), c.status) << c.name;
    // Another machine's token and user cannot touch the clip either.
    machine = "OTHER-" + machine;
    token = client->enroll(machine);
    EXPECT_EQ(update("/title", clip, "mine"), 404);
    EXPECT_EQ(update("/publish", clip, ""), 404);
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
    const std::vector<Case> cases {
        { "malformed json", "POST", "/generate", "{\"prompt\":", 400, "bad_json" },
        { "array body", "POST", "/generate", "[1,2]", 400, "bad_json" },
        { "string body", "POST", "/vet-prompt", "\"hi\"", 400, "bad_json" },
        { "empty body", "PATCH", "/title", "", 400, "bad_json" },
        { "body over 64 KiB", "POST", "/generate", "{\"prompt\":\"" + QByteArray(70 * 1024, 'a') + "\"}", 413,
            "too_large" },
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
        EXPECT_EQ(result.error(), c.error) << c.name;
        EXPECT_FALSE(result.json().value("message").toString().isEmpty()) << c.name;
    }
    EXPECT_EQ(credits(), 20) << "still serving, nothing charged";
}

TEST_F(ServiceApiTest, DataSurvivesARestartAndABusyPortIsReported)
{
    const QString clip = makeClip();
    ASSERT_TRUE(service->restart()) << service->errorText().toStdString();
    client = std::make_unique<HttpClient>(service->baseUrl());
    ASSERT_EQ(history().size(), 1) << "the token and the clip are still known";
    const QString url = history().at(0).toObject().value("url").toString();
    EXPECT_TRUE(url.startsWith(service->cdnUrl())) << "clip addresses follow the current port";
    EXPECT_EQ(QUrl(url).path(), QUrl(clip).path());
    EXPECT_EQ(client->get(QUrl(url).path()).status, 200);
    EXPECT_EQ(credits(), 19);

    QProcess busy;
    QTemporaryDir data;
    busy.start(
        QUORVEL_BIN_DIR "/quorvel-service", { "--data", data.path(), "--port", QString::number(service->port()) });
    ASSERT_TRUE(busy.waitForFinished(10000));
    EXPECT_NE(busy.exitCode(), 0);
    EXPECT_TRUE(busy.readAllStandardError().contains("can't listen"));
    EXPECT_TRUE(busy.readAllStandardOutput().isEmpty()) << "no port line when nothing listens";
}

} // namespace
