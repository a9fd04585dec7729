#include "extension/retention_metrics.h"

#include "support/manual_clock.h"
#include "support/memory_preferences.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <mutex>
#include <thread>

namespace quorvel::extension {
namespace {

using namespace std::chrono_literals;

QDateTime at(const char* isoUtc)
{
    return QDateTime::fromString(QString::fromLatin1(isoUtc), Qt::ISODateWithMs);
}

struct RecordedStorage {
    std::shared_ptr<testing::MemoryPreferenceSuite> suite = std::make_shared<testing::MemoryPreferenceSuite>();
    std::shared_ptr<PreferenceRetentionStorage> storage = std::make_shared<PreferenceRetentionStorage>(suite);
    RetentionRecord record() const { return RetentionRecord::decode(storage->read()); }
};

TEST(RetentionMetrics, SessionsAreCountedByTheirStartDay)
{
    struct Case {
        const char* name;
        const char* start;
        qint64 elapsedMs;
        const char* day;
        qint64 seconds;
    } cases[] = {
        { "past midnight belongs to the earlier day", "2025-03-07T23:59:30Z", 70'000, "2025-03-07", 70 },
        { "capped at one day", "2025-03-07T10:00:00Z", 90'000'000, "2025-03-07", 86400 },
        { "clock went backwards", "2025-03-07T10:00:00Z", -5'000, "2025-03-07", 0 },
        { "half rounds away from zero", "2025-03-07T10:00:00Z", 12'500, "2025-03-07", 13 },
        { "below half rounds down", "2025-03-07T10:00:00Z", 12'400, "2025-03-07", 12 },
        { "zero length", "2025-03-07T10:00:00Z", 0, "2025-03-07", 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedStorage store;
        testing::ManualClock clock(at(c.start));
        RetentionMetrics metrics(store.storage, clock);
        metrics.startSession();
        clock.setNow(clock.now().addMSecs(c.elapsedMs));
        EXPECT_EQ(metrics.endSession(), c.seconds);
        const RetentionRecord record = store.record();
        ASSERT_EQ(record.days.size(), 1u);
        EXPECT_EQ(record.days.at(c.day).sessions, 1);
        EXPECT_EQ(record.days.at(c.day).seconds, c.seconds);
        EXPECT_EQ(record.firstSeenDay, c.day);
    }
}

TEST(RetentionMetrics, StoredDataThatIsNotASchemaOneRecordStartsFresh)
{
    struct Case {
        const char* name;
        std::optional<QByteArray> stored;
    } cases[] = {
        { "nothing stored", std::nullopt },
        { "schema 2",
            QByteArray(
                R"({"schema":2,"firstSeenDay":"2020-01-01","days":{"2020-01-01":{"sessions":9,"seconds":9}}})") },
        { "not json", QByteArray("garbage") },
        { "days of wrong type", QByteArray(R"({"schema":1,"firstSeenDay":"2020-01-01","days":[]})") },
        { "fractional count",
            QByteArray(R"({"schema":1,"firstSeenDay":"","days":{"2020-01-01":{"sessions":1.5,"seconds":1}}})") },
        { "missing firstSeenDay", QByteArray(R"({"schema":1,"days":{}})") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedStorage store;
        if (c.stored)
            store.suite->setValue(PreferenceRetentionStorage::kKey, *c.stored);
        testing::ManualClock clock(at("2025-03-07T10:00:00Z"));
        RetentionMetrics metrics(store.storage, clock);
        metrics.startSession();
        clock.advance(5s);
        metrics.endSession();
        const QJsonObject json = QJsonDocument::fromJson(*store.storage->read()).object();
        EXPECT_EQ(json.value("schema").toInt(), 1);
        EXPECT_EQ(json.value("firstSeenDay").toString(), "2025-03-07");
        EXPECT_EQ(json.value("days").toObject().keys(), QStringList { "2025-03-07" });
        EXPECT_EQ(json.value("days")["2025-03-07"]["seconds"].toInt(), 5);
    }
}

TEST(RetentionMetrics, KeepsTheSixtyMostRecentDaysAndTheFirstSeenDay)
{
    RecordedStorage store;
    testing::ManualClock clock(at("2025-01-01T12:00:00Z"));
    RetentionMetrics metrics(store.storage, clock);
    for (int day = 0; day < 61; ++day) {
        clock.setNow(at("2025-01-01T12:00:00Z").addDays(day));
        metrics.startSession();
        clock.advance(1s);
        metrics.endSession();
        EXPECT_LE(store.record().days.size(), 60u);
    }
    const RetentionRecord record = store.record();
    EXPECT_EQ(record.days.size(), 60u);
    EXPECT_FALSE(record.days.contains("2025-01-01"));
    EXPECT_TRUE(record.days.contains("2025-01-02"));
    EXPECT_TRUE(record.days.contains("2025-03-02"));
    EXPECT_EQ(record.firstSeenDay, "2025-01-01");
}

TEST(RetentionMetrics, OpenAndCloseRules)
{
    RecordedStorage store;
    testing::ManualClock clock(at("2025-03-07T10:00:00Z"));
    RetentionMetrics metrics(store.storage, clock);
    EXPECT_EQ(metrics.endSession(), std::nullopt);
    EXPECT_FALSE(store.storage->read().has_value()) << "closing nothing writes nothing";

    metrics.startSession();
    EXPECT_EQ(store.record().firstSeenDay, "2025-03-07") << "the first day is recorded at the start";
    clock.advance(10s);
    metrics.startSession(); // keeps the first start
    clock.advance(10s);
    EXPECT_EQ(metrics.endSession(), 20);
    EXPECT_EQ(metrics.endSession(), std::nullopt);
    EXPECT_EQ(store.record().days.at("2025-03-07").sessions, 1);
}

TEST(RetentionMetrics, TwoViewsInOneProcessKeepBothSessions)
{
    RecordedStorage store;
    testing::ManualClock clock(at("2025-03-07T10:00:00Z"));
    // Two displays: two metrics objects over separate storage objects with the same key.
    RetentionMetrics left(store.storage, clock);
    RetentionMetrics right(std::make_shared<PreferenceRetentionStorage>(store.suite), clock);
    left.startSession();
    right.startSession();
    clock.advance(30s);
    left.endSession();
    right.endSession();
    EXPECT_EQ(store.record().days.at("2025-03-07").sessions, 2);
    EXPECT_EQ(store.record().days.at("2025-03-07").seconds, 60);
}

// A storage whose single reads and writes are safe but whose read-modify-write is not: only the
// per-key lock of the metrics keeps concurrent views from losing sessions.
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
    // Two views on two threads, each with its own metrics over the same stored record.
    auto storage = std::make_shared<SlowStorage>();
    testing::ManualClock clock(at("2025-03-07T10:00:00Z"));
    constexpr int kRounds = 300;
    auto run = [&] {
        RetentionMetrics metrics(storage, clock);
        for (int i = 0; i < kRounds; ++i) {
            metrics.startSession();
            metrics.endSession();
        }
    };
    std::thread a(run), b(run);
    a.join();
    b.join();
    EXPECT_EQ(RetentionRecord::decode(storage->read()).days.at("2025-03-07").sessions, 2 * kRounds);
}

} // namespace
} // namespace quorvel::extension
