#include "extension/retention_metrics.h"

#include "support/manual_clock.h"
#include "support/memory_preferences.h"

#include <gtest/gtest.h>

#include <thread>

namespace quorvel::extension {
namespace {

using namespace std::chrono_literals;

const QDateTime kMorning = QDateTime::fromString("2025-03-07T10:00:00Z", Qt::ISODate);

struct Recorded {
    std::shared_ptr<testing::MemoryPreferenceSuite> suite = std::make_shared<testing::MemoryPreferenceSuite>();
    std::shared_ptr<PreferenceRetentionStorage> storage = std::make_shared<PreferenceRetentionStorage>(suite);
    testing::ManualClock clock { kMorning };
    RetentionMetrics metrics { storage, clock };
    RetentionRecord record() const { return RetentionRecord::decode(storage->read()); }
};

TEST(RetentionMetrics, SessionsCountOnTheirStartDayInRoundedCappedSeconds)
{
    const struct {
        const char* name;
        qint64 startOffsetS, elapsedMs, seconds;
        std::optional<QByteArray> stored;
    } cases[] = {
        { "past midnight belongs to the earlier day", 50'370, 70'000, 70, {} },
        { "capped at one day", 0, 90'000'000, 86400, {} },
        { "clock went backwards", 0, -5'000, 0, {} },
        { "half rounds away from zero", 0, 12'500, 13, {} },
        { "below half rounds down", 0, 12'400, 12, {} },
        { "schema 2 starts fresh", 0, 5'000, 5,
            R"({"schema":2,"firstSeenDay":"2020-01-01","days":{"2020-01-01":{"sessions":9,"seconds":9}}})" },
        { "not json starts fresh", 0, 5'000, 5, "garbage" },
        { "fractional count starts fresh", 0, 5'000, 5,
            R"({"schema":1,"firstSeenDay":"","days":{"2020-01-01":{"sessions":1.5,"seconds":1}}})" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r;
        if (c.stored)
            r.suite->setValue(PreferenceRetentionStorage::kKey, *c.stored);
        r.clock.setNow(kMorning.addSecs(c.startOffsetS)); // 50'370 s after 10:00 is 23:59:30
        r.metrics.startSession();
        r.clock.setNow(r.clock.now().addMSecs(c.elapsedMs));
        EXPECT_EQ(r.metrics.endSession(), c.seconds);
        const RetentionRecord record = r.record();
        ASSERT_EQ(record.days.size(), 1u);
        EXPECT_EQ(record.days.at("2025-03-07").sessions, 1);
        EXPECT_EQ(record.days.at("2025-03-07").seconds, c.seconds);
        EXPECT_EQ(record.firstSeenDay, "2025-03-07");
    }
}

TEST(RetentionMetrics, OpenAndCloseRulesAndTheSixtyDayWindow)
{
    Recorded r;
    EXPECT_EQ(r.metrics.endSession(), std::nullopt);
    EXPECT_FALSE(r.storage->read().has_value()) << "closing nothing writes nothing";
    r.metrics.startSession();
    EXPECT_EQ(r.record().firstSeenDay, "2025-03-07") << "the first day is recorded at the start";
    r.clock.advance(10s);
    r.metrics.startSession(); // keeps the first start
    r.clock.advance(10s);
    EXPECT_EQ(r.metrics.endSession(), 20);
    EXPECT_EQ(r.metrics.endSession(), std::nullopt);

    for (int day = 1; day <= 60; ++day) {
        r.clock.setNow(kMorning.addDays(day));
        r.metrics.startSession();
        r.metrics.endSession();
    }
    const RetentionRecord record = r.record();
    EXPECT_EQ(record.days.size(), 60u);
    EXPECT_FALSE(record.days.contains("2025-03-07"));
    EXPECT_TRUE(record.days.contains("2025-03-08"));
    EXPECT_EQ(record.firstSeenDay, "2025-03-07");
}

// Single reads and writes are safe but read-modify-write is not: only the per-key lock of the
// metrics keeps concurrent views from losing sessions.
class SlowStorage final : public RetentionMetricsStorage {
public:
    std::optional<QByteArray> read() const override
    {
        std::lock_guard guard(mutex);
        return bytes;
    }
    void write(const QByteArray& value) override
    {
        std::this_thread::yield();
        std::lock_guard guard(mutex);
        bytes = value;
    }
    QString storageKey() const override { return QStringLiteral("test.concurrent.v1"); }
    mutable std::mutex mutex;
    std::optional<QByteArray> bytes;
};

TEST(RetentionMetrics, ConcurrentViewsNeverLoseSessions)
{
    auto storage = std::make_shared<SlowStorage>();
    testing::ManualClock clock(kMorning);
    auto run = [&] {
        RetentionMetrics metrics(storage, clock);
        for (int i = 0; i < 2000; ++i) {
            metrics.startSession();
            metrics.endSession();
        }
    };
    std::thread a(run), b(run);
    a.join();
    b.join();
    EXPECT_EQ(RetentionRecord::decode(storage->read()).days.at("2025-03-07").sessions, 4000);
}

} // namespace
} // namespace quorvel::extension
