#include "service/job_timeline.h"

#include "printers.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace quorvel::service;

namespace {

// The app picks its stage line from these substrings, most advanced first.
QString stageOf(const QString& log)
{
    if (log.contains("animating..."))
        return "animating";
    if (log.contains("keyframe:"))
        return "keyframe ready";
    if (log.contains("keyframe..."))
        return "keyframe";
    if (log.contains("vetting:"))
        return "vetted";
    return "checking";
}

struct StageCase {
    const char* name;
    qint64 elapsedMs;
    const char* stage;
};

class ServiceJobStageTest : public ::testing::TestWithParam<StageCase> { };

TEST_P(ServiceJobStageTest, LogReachesTheStageOnTheClock)
{
    JobFacts facts;
    facts.elapsedMs = GetParam().elapsedMs;
    facts.render = RenderState::Done; // even a finished render waits for the clock
    const JobStatus status = jobStatus(facts);
    EXPECT_EQ(stageOf(status.log), QString(GetParam().stage));
    EXPECT_FALSE(status.done);
    EXPECT_FALSE(status.log.contains("INAPPROPRIATE"));
}

INSTANTIATE_TEST_SUITE_P(Clock, ServiceJobStageTest,
    ::testing::Values(StageCase { "just_accepted", 0, "checking" },
        StageCase { "before_vetting", kVettedAtMs - 1, "checking" }, StageCase { "vetted", kVettedAtMs, "vetted" },
        StageCase { "keyframe", kKeyframeStartAtMs, "keyframe" },
        StageCase { "keyframe_ready", kKeyframeReadyAtMs, "keyframe ready" },
        StageCase { "animating", kAnimatingAtMs, "animating" },
        StageCase { "just_before_the_end", kFinishedAtMs - 1, "animating" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ServiceJobTimelineTest, EndsWellOnlyWhenTheClipExists)
{
    JobFacts facts;
    facts.elapsedMs = kFinishedAtMs + 60000;
    facts.render = RenderState::Pending;
    const JobStatus waiting = jobStatus(facts);
    EXPECT_FALSE(waiting.done) << "a slow render keeps the job animating, never done without a clip";
    EXPECT_EQ(stageOf(waiting.log), "animating");

    facts.render = RenderState::Done;
    const JobStatus finished = jobStatus(facts);
    EXPECT_TRUE(finished.done);
    EXPECT_TRUE(finished.ok);
}

TEST(ServiceJobTimelineTest, FailedRenderEndsWithTheReasonAsLastLine)
{
    JobFacts facts;
    facts.instant = true;
    facts.render = RenderState::Failed;
    facts.renderError = "the renderer exited with status 1.";
    const JobStatus status = jobStatus(facts);
    EXPECT_TRUE(status.done);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.log.split('\n').last(), "Rendering failed: the renderer exited with status 1.");
    EXPECT_FALSE(status.log.contains("INAPPROPRIATE"));
}

TEST(ServiceJobTimelineTest, RefusedPromptEndsAtVettingWithTheMarker)
{
    JobFacts facts;
    facts.refused = true;
    facts.elapsedMs = kVettedAtMs - 1;
    EXPECT_FALSE(jobStatus(facts).done);

    facts.elapsedMs = kVettedAtMs;
    const JobStatus status = jobStatus(facts);
    EXPECT_TRUE(status.done);
    EXPECT_FALSE(status.ok);
    EXPECT_TRUE(status.log.contains("INAPPROPRIATE"));
    EXPECT_FALSE(status.log.contains("keyframe")) << "a refused job never reaches the keyframe";
}

TEST(ServiceJobTimelineTest, InstantSkipsTheDelays)
{
    JobFacts facts;
    facts.instant = true;
    facts.render = RenderState::Done;
    const JobStatus status = jobStatus(facts);
    EXPECT_TRUE(status.done);
    EXPECT_TRUE(status.ok);
    EXPECT_TRUE(status.log.contains("animating..."));
}

} // namespace
