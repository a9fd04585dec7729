// The handlers driven in-process on a clock the test moves: jobs walk through their stages,
// throttling lifts after its window, and paid credits come back a month later.
#include "printers.h"

#include "service/clip_renderer.h"
#include "service/service_api.h"

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
        ASSERT_TRUE(dir.isValid());
        // Stands in for the encoder: writes something where the clip goes, at once.
        const QString fake = dir.path() + "/fake-encoder";
        QFile script(fake);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nfor last in \"$@\"; do :; done\necho clip > \"$last\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        ServiceConfig config;
        config.publicUrl = "http://127.0.0.1:1";
        config.freeCredits = 6;
        store = std::make_unique<Store>(dir.path() + "/db.sqlite");
        renderer = std::make_unique<ClipRenderer>(fake, dir.path() + "/clips", dir.path() + "/work");
        api = std::make_unique<ServiceApi>(config, *store, *renderer, clock, dir.path() + "/assets");
        api->install(router);
        token = call("POST", "/enroll", R"({"machine":"M1"})").second.value("token").toString();
        ASSERT_FALSE(token.isEmpty());
    }

    std::pair<int, QJsonObject> call(const QByteArray& method, const QString& path, const QByteArray& body = {})
    {
        Request request;
        request.method = method;
        const qsizetype question = path.indexOf('?');
        request.path = path.left(question);
        if (question >= 0)
            request.query = QUrlQuery(path.mid(question + 1));
        request.body = body;
        if (!token.isEmpty())
            request.headers.emplace_back("Authorization", "Bearer " + token.toUtf8());
        std::optional<Response> answer;
        router.dispatch(request, Reply([&](const Response& response) { answer = response; }));
        EXPECT_TRUE(answer) << "every request is answered at once outside instant mode";
        if (!answer)
            return { 0, {} };
        return { answer->status, QJsonDocument::fromJson(answer->body).object() };
    }

    QString generate(bool lite)
    {
        const QByteArray body = QJsonDocument(
            QJsonObject { { "prompt", "a fox" }, { "style", "noir" }, { "motion", "drift" }, { "vibe", "calm" },
                { "lite", lite }, { "handle", "h" }, { "soundscape", "none" },
                { "user", "M1" } }).toJson();
        return call("POST", "/generate", body).second.value("job").toString();
    }

    void waitForRenders(int count)
    {
        int finished = 0;
        QObject::connect(renderer.get(), &ClipRenderer::finished, [&] { ++finished; });
        const QDeadlineTimer deadline(10000);
        while (finished < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_EQ(finished, count);
    }

    QTemporaryDir dir;
    ManualServiceClock clock;
    std::unique_ptr<Store> store;
    std::unique_ptr<ClipRenderer> renderer;
    std::unique_ptr<ServiceApi> api;
    Router router;
    QString token;
};

TEST_F(ServiceClockTest, AJobWalksThroughItsStagesOnTheServiceClock)
{
    const QString job = generate(true);
    ASSERT_FALSE(job.isEmpty());
    waitForRenders(1);
    const auto log = [&] { return call("GET", "/jobs/" + job).second.value("log").toString(); };
    EXPECT_EQ(log(), "queued: recipe received");
    const std::vector<std::pair<qint64, QString>> stages { { 999, "queued: recipe received" },
        { 1, "vetting: prompt approved" }, { 1000, "keyframe... composing the scene" }, { 1000, "keyframe: ready" },
        { 1000, "animating... rendering the clip" } };
    for (const auto& [step, lastLine] : stages) {
        clock.now += step;
        const QJsonObject status = call("GET", "/jobs/" + job).second;
        EXPECT_EQ(status.value("log").toString().split('\n').last(), lastLine);
        EXPECT_FALSE(status.value("done").toBool());
        EXPECT_FALSE(status.contains("clip"));
    }
    clock.now += 1000;
    const QJsonObject done = call("GET", "/jobs/" + job).second;
    EXPECT_TRUE(done.value("done").toBool());
    EXPECT_TRUE(done.value("ok").toBool());
    EXPECT_EQ(done.value("clip").toString(), "http://127.0.0.1:1/cdn/clips/" + job + ".mp4");
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
    EXPECT_EQ(call("POST", "/vet-prompt", body).first, 200);
}

TEST_F(ServiceClockTest, PaidCreditsComeBackAMonthLaterButNotBefore)
{
    router.dispatch(
        Request { "POST", "/checkout/monthly", {}, {}, "client_reference_id=M1" }, Reply([](const Response&) {}));
    ASSERT_FALSE(generate(false).isEmpty());
    waitForRenders(1);
    const auto credits = [&] { return call("GET", "/balance?user=M1").second.value("credits").toInt(-1); };
    EXPECT_EQ(credits(), 3);
    clock.now += 27LL * 24 * 3600 * 1000; // 2025-02-27
    EXPECT_EQ(credits(), 3);
    clock.now += 1LL * 24 * 3600 * 1000; // 2025-02-28: a month after January 31
    EXPECT_EQ(credits(), 8);
    EXPECT_EQ(call("GET", "/balance?user=M1").second.value("resets").toString(), "2025-02-28");
}

} // namespace
