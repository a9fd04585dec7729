// The database: credits move only with jobs, refunds happen once, and clips belong to one machine.
#include "service/store.h"

#include "printers.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace quorvel::service;

namespace {

class ServiceStoreTest : public ::testing::Test {
protected:
    JobRecord job(const QString& id, int cost, const QString& machine = "M1")
    {
        JobRecord record;
        record.id = id;
        record.machine = machine;
        record.prompt = "a fox";
        record.style = "noir";
        record.motion = "drift";
        record.vibe = "calm";
        record.soundscape = "none";
        record.cost = cost;
        record.createdMs = 1000;
        return record;
    }

    QTemporaryDir dir;
    Store store { dir.path() + "/test.sqlite" };
};

TEST_F(ServiceStoreTest, ChargingMoreThanTheBalanceChangesNothing)
{
    store.ensureAccount("M1", 3, "2025-03-07");
    EXPECT_FALSE(store.createJob(job("a", 5)));
    EXPECT_EQ(store.account("M1")->credits, 3);
    EXPECT_FALSE(store.job("a")) << "no job is recorded without its charge";
    EXPECT_TRUE(store.createJob(job("b", 3)));
    EXPECT_EQ(store.account("M1")->credits, 0);
    EXPECT_TRUE(store.createJob(job("c", 0))) << "debug jobs are free even at zero";
}

TEST_F(ServiceStoreTest, FailedRenderRefundsExactlyOnce)
{
    store.ensureAccount("M1", 5, "2025-03-07");
    ASSERT_TRUE(store.createJob(job("a", 5)));
    store.finishRender("a", false, "boom");
    store.refund("a");
    store.finishRender("a", false, "boom again");
    EXPECT_EQ(store.account("M1")->credits, 5);
    EXPECT_EQ(store.job("a")->render, RenderState::Failed);
    EXPECT_EQ(store.job("a")->renderError, "boom again");
}

TEST_F(ServiceStoreTest, EnsureAccountNeverResetsAnExistingBalance)
{
    store.ensureAccount("M1", 1, "2025-03-07");
    ASSERT_TRUE(store.createJob(job("a", 1)));
    store.ensureAccount("M1", 1, "2025-03-08");
    EXPECT_EQ(store.account("M1")->credits, 0) << "enrolling again must not hand out free credits again";
}

TEST_F(ServiceStoreTest, PaidAccountsRefillOnceAMonth)
{
    store.ensureAccount("M1", 1, "2025-01-31");
    store.ensureAccount("FREE", 1, "2025-01-01");
    EXPECT_FALSE(store.subscribe("NOBODY", "monthly", 8, "2025-01-31"));
    ASSERT_TRUE(store.subscribe("M1", "monthly", 8, "2025-01-31"));
    ASSERT_TRUE(store.createJob(job("a", 5)));
    store.refillIfDue("M1", 8, "2025-02-27");
    EXPECT_EQ(store.account("M1")->credits, 3) << "not yet a month";
    store.refillIfDue("M1", 8, "2025-02-28");
    EXPECT_EQ(store.account("M1")->credits, 8);
    EXPECT_EQ(store.account("M1")->resets, "2025-02-28");
    store.refillIfDue("FREE", 8, "2025-06-01");
    EXPECT_EQ(store.account("FREE")->credits, 1) << "free accounts are not refilled";
}

TEST_F(ServiceStoreTest, TokensAreFoundButNotStoredInClear)
{
    store.addToken("secret-token", "M1");
    EXPECT_EQ(store.machineForToken("secret-token"), "M1");
    EXPECT_FALSE(store.machineForToken("secret-token2"));
    EXPECT_FALSE(store.machineForToken(""));
    QFile file(dir.path() + "/test.sqlite");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("secret-token"));
}

TEST_F(ServiceStoreTest, ClipsBelongToTheirMachineAndTheFeedIsNewestFirst)
{
    store.ensureAccount("M1", 10, "2025-03-07");
    for (const QString id : { "a", "b", "pending" })
        ASSERT_TRUE(store.createJob(job(id, 0)));
    store.finishRender("a", true, {});
    store.finishRender("b", true, {});

    EXPECT_FALSE(store.setTitle("a", "M2", "stolen")) << "another machine cannot rename a clip";
    EXPECT_FALSE(store.publish("pending", "M1", "", 10)) << "an unfinished clip cannot be published";
    EXPECT_TRUE(store.publish("a", "M1", "First", 100));
    EXPECT_TRUE(store.publish("b", "M1", "", 100)) << "same millisecond: publication order still decides";
    EXPECT_TRUE(store.publish("a", "M1", "", 300)) << "publishing again is fine";

    const auto feed = store.feed(10);
    ASSERT_EQ(feed.size(), 2);
    EXPECT_EQ(feed[0].id, "b");
    EXPECT_EQ(feed[1].id, "a") << "publishing again keeps the first date";
    EXPECT_EQ(feed[1].title, "First") << "an empty title keeps the saved one";
    EXPECT_EQ(store.history("M1").size(), 2) << "unfinished jobs are not in the history";
    EXPECT_TRUE(store.history("M2").isEmpty());
}

TEST_F(ServiceStoreTest, QuotesAndSqlInTextAreStoredVerbatim)
{
    store.ensureAccount("M1'; DROP TABLE jobs; --", 1, "2025-03-07");
    JobRecord record = job("a", 0, "M1'; DROP TABLE jobs; --");
    record.prompt = "it's a \"test\" \\ %s";
    ASSERT_TRUE(store.createJob(record));
    EXPECT_EQ(store.job("a")->prompt, record.prompt);
    EXPECT_EQ(store.job("a")->machine, record.machine);
}

} // namespace
