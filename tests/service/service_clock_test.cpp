// The handlers driven in-process on a clock the test moves: jobs walk through their stages and end
// only with a clip, throttling lifts after its window, and paid credits come back a month later.
#include "service/clip_renderer.h"
#include "service/service_api.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

using namespace quorvel::service;

namespace {

class ManualServiceClock final : public ServiceClock {
public:
    qint64 nowMs() const override { return now; }
    qint64 now = QDateTime(QDate(2025, 1, 31), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
};

class ServiceClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Stands in for the encoder: writes something where the clip goes, at once.
        quorvel::testing::writeScript(
            dir.path() + "/fake-encoder", "for last in \"$@\"; do :; done\necho clip > \"$last\"\n");
        QObject::connect(&renderer, &ClipRenderer::finished, [this] { ++renders; });
        ServiceConfig config;
        config.publicUrl = "http://127.0.0.1:1";
        config.freeCredits = 6;
        api = std::make_unique<ServiceApi>(config, store, renderer, clock, dir.path() + "/assets");
        api->install(router);
        token = call("POST", "/enroll", R"({"machine":"M1"})").second.value("token").toString();
        ASSERT_FALSE(token.isEmpty());
    }

    std::pair<int, QJsonObject> call(const QByteArray& method, const QString& path, const QByteArray& body = {})
    {
        const QUrl url("http://h" + path);
        Request request { method, url.path(), QUrlQuery(url), { { "Authorization", "Bearer " + token.toUtf8() } },
            body };
        std::optional<Response> answer;
        router.dispatch(request, Reply([&](const Response& response) { answer = response; }));
        EXPECT_TRUE(answer) << "every request is answered at once outside instant mode";
        return answer ? std::pair(answer->status, QJsonDocument::fromJson(answer->body).object())
                      : std::pair(0, QJsonObject());
    }

    QString generate(bool lite = true, const QString& prompt = "a fox")
    {
        const QJsonObject recipe { { "prompt", prompt }, { "style", "noir" }, { "motion", "drift" }, { "vibe", "calm" },
            { "lite", lite }, { "handle", "h" }, { "soundscape", "none" }, { "user", "M1" } };
        return call("POST", "/generate", QJsonDocument(recipe).toJson()).second.value("job").toString();
    }
    // The render runs as a child process; its end only lands when events are processed.
    void waitForRender()
    {
        const QDeadlineTimer deadline(10000);
        while (renders == 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_EQ(renders, 1);
    }
    QJsonObject poll(const QString& job) { return call("GET", "/jobs/" + job).second; }

    QTemporaryDir dir;
    ManualServiceClock clock;
    Store store { dir.path() + "/db.sqlite" };
    ClipRenderer renderer { dir.path() + "/fake-encoder", dir.path() + "/clips", dir.path() + "/work" };
    std::unique_ptr<ServiceApi> api;
    Router router;
    QString token;
    int renders = 0;
};

TEST_F(ServiceClockTest, AJobWalksThroughItsStagesOnTheServiceClock)
{
    const QString job = generate();
    waitForRender();
    const std::vector<std::pair<qint64, QString>> stages { { 0, "queued: recipe received" },
        { 999, "queued: recipe received" }, { 1, "vetting: prompt approved" },
        { 1000, "keyframe... composing the scene" }, { 1000, "keyframe: ready" },
        { 1000, "animating... rendering the clip" } };
    for (const auto& [step, lastLine] : stages) {
        clock.now += step;
        const QJsonObject status = poll(job);
        EXPECT_EQ(status.value("log").toString().split('\n').last(), lastLine);
        EXPECT_FALSE(status.value("done").toBool());
        EXPECT_FALSE(status.contains("clip"));
    }
    clock.now += 1000;
    const QJsonObject done = poll(job);
    EXPECT_TRUE(done.value("done").toBool() && done.value("ok").toBool());
    EXPECT_EQ(done.value("clip").toString(), "http://127.0.0.1:1/cdn/clips/" + job + ".mp4");
}

TEST_F(ServiceClockTest, ASlowRenderKeepsTheJobAnimatingAndARefusedPromptEndsItAtVetting)
{
    const QString slow = generate();
    clock.now += 60000;
    EXPECT_FALSE(poll(slow).value("done").toBool()) << "never done without a clip";
    EXPECT_TRUE(poll(slow).value("log").toString().endsWith("animating... rendering the clip"));
    waitForRender();
    EXPECT_TRUE(poll(slow).value("ok").toBool());

    const QString refused = generate(true, "a bloody fox");
    clock.now += 999;
    EXPECT_FALSE(poll(refused).value("done").toBool());
    clock.now += 1;
    const QJsonObject status = poll(refused);
    EXPECT_TRUE(status.value("done").toBool());
    EXPECT_FALSE(status.value("ok").toBool(true));
    EXPECT_TRUE(status.value("log").toString().contains("INAPPROPRIATE"));
    EXPECT_FALSE(status.value("log").toString().contains("keyframe")) << "a refused job never reaches the keyframe";
}

TEST_F(ServiceClockTest, PromptChecksAreThrottledUntilTheWindowPasses)
{
    const QByteArray body
        = R"({"prompt":"p","style":"noir","motion":"drift","vibe":"calm","soundscape":"none","user":"M1"})";
    for (int i = 0; i < ServiceApi::kVetCallsPerSecond; ++i)
        EXPECT_EQ(call("POST", "/vet-prompt", body).first, 200);
    clock.now += 400;
    const auto [status, reply] = call("POST", "/vet-prompt", body);
    EXPECT_EQ(status, 429);
    EXPECT_DOUBLE_EQ(reply.value("retry_after").toDouble(), 0.6);
    clock.now += 600;
    EXPECT_EQ(call("POST", "/vet-prompt", body).first, 200) << "a refused call does not extend the wait";
}

TEST_F(ServiceClockTest, PaidCreditsComeBackAMonthLaterButNotBefore)
{
    router.dispatch(
        Request { "POST", "/checkout/monthly", {}, {}, "client_reference_id=M1" }, Reply([](const Response&) {}));
    ASSERT_FALSE(generate(false).isEmpty());
    waitForRender();
    const auto balance = [&] { return call("GET", "/balance?user=M1").second; };
    EXPECT_EQ(balance().value("credits").toInt(-1), 3);
    clock.now += 27LL * 24 * 3600 * 1000; // 2025-02-27
    EXPECT_EQ(balance().value("credits").toInt(-1), 3);
    clock.now += 1LL * 24 * 3600 * 1000; // 2025-02-28: a month after January 31
    EXPECT_EQ(balance().value("credits").toInt(-1), 8);
    EXPECT_EQ(balance().value("resets").toString(), "2025-02-28");
}

} // namespace
