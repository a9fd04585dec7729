// The database: credits move only with jobs, refunds happen once, and clips belong to one machine.
#include "service/store.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace quorvel::service;

namespace {

class ServiceStoreTest : public ::testing::Test {
protected:
    static JobRecord job(const QString& id, int cost, const QString& machine = "M1")
    {
        JobRecord record;
        record.id = id;
        record.machine = machine;
        record.prompt = "it's a \"test\" \\ %s";
        record.style = record.motion = record.vibe = record.soundscape = "x";
        record.cost = cost;
        return record;
    }

    QTemporaryDir dir;
    Store store { dir.path() + "/test.sqlite" };
};

TEST_F(ServiceStoreTest, ChargesAreAllOrNothingRefundsHappenOnceAndEnrollingAgainGivesNothing)
{
    store.ensureAccount("M1", 3, "2025-03-07");
    EXPECT_FALSE(store.createJob(job("a", 5)));
    EXPECT_EQ(store.account("M1")->credits, 3);
    EXPECT_FALSE(store.job("a")) << "no job is recorded without its charge";
    ASSERT_TRUE(store.createJob(job("b", 3)));
    EXPECT_TRUE(store.createJob(job("c", 0))) << "debug jobs are free even at zero";
    store.ensureAccount("M1", 1, "2025-03-08");
    EXPECT_EQ(store.account("M1")->credits, 0) << "enrolling again must not hand out free credits again";

    store.finishRender("b", false, "boom");
    store.refund("b");
    store.refund("b");
    store.finishRender("b", false, "boom again");
    EXPECT_EQ(store.account("M1")->credits, 3);
    EXPECT_EQ(store.job("b")->render, RenderState::Failed);
    EXPECT_EQ(store.job("b")->renderError, "boom again");
    store.refillIfDue("M1", 8, "2025-06-01");
    EXPECT_EQ(store.account("M1")->credits, 3) << "free accounts are not refilled";
}

TEST_F(ServiceStoreTest, TokensAreFoundButNotStoredInClearAndTextIsStoredVerbatim)
{
    store.addToken("secret-token", "M1");
    EXPECT_EQ(store.machineForToken("secret-token"), "M1");
    EXPECT_FALSE(store.machineForToken("secret-token2"));
    EXPECT_FALSE(store.machineForToken(""));

    const QString hostile = "M1'; DROP TABLE jobs; --";
    store.ensureAccount(hostile, 1, "2025-03-07");
    ASSERT_TRUE(store.createJob(job("a", 0, hostile)));
    EXPECT_EQ(store.job("a")->prompt, job("a", 0).prompt);
    EXPECT_EQ(store.job("a")->machine, hostile);

    QFile file(dir.path() + "/test.sqlite");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("secret-token"));
}

// Ownership and newest-first order are checked over HTTP; these are the ties and repeats behind them.
TEST_F(ServiceStoreTest, FeedOrderSurvivesTiesAndRepeatedPublishing)
{
    store.ensureAccount("M1", 10, "2025-03-07");
    for (const QString id : { "a", "b", "pending" })
        ASSERT_TRUE(store.createJob(job(id, 0)));
    store.finishRender("a", true, {});
    store.finishRender("b", true, {});
    EXPECT_FALSE(store.publish("pending", "M1", "", 10)) << "an unfinished clip cannot be published";
    EXPECT_TRUE(store.publish("a", "M1", "First", 100));
    EXPECT_TRUE(store.publish("b", "M1", "", 100)) << "same millisecond: publication order still decides";
    EXPECT_TRUE(store.publish("a", "M1", "", 300));
    const auto feed = store.feed(10);
    ASSERT_EQ(feed.size(), 2);
    EXPECT_EQ(feed[0].id, "b");
    EXPECT_EQ(feed[1].id, "a") << "publishing again keeps the first date";
    EXPECT_EQ(store.history("M1").size(), 2) << "unfinished jobs are not in the history";
}

} // namespace
