// The small rules of the service: throttling, vetting words, clip text, ids and the command line.
#include "service/clip_renderer.h"
#include "service/config.h"
#include "service/rate_limiter.h"
#include "service/service_api.h"
#include "service/vocabulary.h"

#include "app/create/recipe_vocabulary.h"

#include "printers.h"

#include <gtest/gtest.h>

using namespace quorvel::service;

namespace {

TEST(ServiceRateLimiterTest, AllowsTheLimitPerWindowAndSaysHowLongToWait)
{
    RateLimiter limiter(3, 1000);
    EXPECT_FALSE(limiter.hit("a", 0));
    EXPECT_FALSE(limiter.hit("a", 100));
    EXPECT_FALSE(limiter.hit("a", 200));
    const auto wait = limiter.hit("a", 250);
    ASSERT_TRUE(wait);
    EXPECT_DOUBLE_EQ(*wait, 0.8) << "the oldest call leaves the window at 1000 ms";
    EXPECT_FALSE(limiter.hit("b", 250)) << "keys are limited separately";
    EXPECT_TRUE(limiter.hit("a", 999));
    EXPECT_FALSE(limiter.hit("a", 1000)) << "a refused call does not extend the wait";
}

TEST(ServiceRateLimiterTest, WaitIsNeverZero)
{
    RateLimiter limiter(1, 1000);
    EXPECT_FALSE(limiter.hit("a", 0));
    const auto wait = limiter.hit("a", 999);
    ASSERT_TRUE(wait);
    EXPECT_GT(*wait, 0.0);
}

TEST(ServiceVocabularyTest, RefusesWholeWordsOnlyWhateverTheCase)
{
    EXPECT_TRUE(vocabulary::isRefused("a BLOODY sunset"));
    EXPECT_TRUE(vocabulary::isRefused("guns, roses"));
    EXPECT_FALSE(vocabulary::isRefused("a skillful gunsmith's bloodhound")) << "substrings of longer words pass";
    EXPECT_FALSE(vocabulary::isRefused("a cloud trapped in a greenhouse, raining on the orchids"));
    EXPECT_FALSE(vocabulary::isRefused(""));
}

TEST(ServiceVocabularyTest, AcceptsEveryKeyTheAppOffersAndNoSamplePromptIsRefused)
{
    EXPECT_EQ(vocabulary::styles(), quorvel::create::vocabulary::styles());
    EXPECT_EQ(vocabulary::motions(), quorvel::create::vocabulary::motionKeys());
    EXPECT_EQ(vocabulary::vibes(), quorvel::create::vocabulary::vibes());
    for (const QString& prompt : quorvel::create::vocabulary::samplePrompts())
        EXPECT_FALSE(vocabulary::isRefused(prompt)) << prompt.toStdString();
}

TEST(ServiceClipTextTest, WrapsLongPromptsAndCutsOverlongWords)
{
    const QString wrapped = wrapForClip(QString("word ").repeated(100), 20, 3);
    const QStringList lines = wrapped.split('\n');
    EXPECT_EQ(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_LE(line.size(), 20);
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));

    const QStringList cut = wrapForClip(QString(50, 'x'), 20, 5).split('\n');
    EXPECT_EQ(cut, (QStringList { QString(20, 'x'), QString(20, 'x'), QString(10, 'x') }));
    EXPECT_EQ(wrapForClip("  a   fox \n in\tsnow  ", 40, 5), "a fox in snow") << "white space collapses";
}

TEST(ServiceIdsTest, ClipIdsComeOnlyFromClipAddresses)
{
    const QString id = "0123456789abcdef0123456789abcdef";
    EXPECT_EQ(clipIdFromUrl("http://127.0.0.1:4000/cdn/clips/" + id + ".mp4"), id);
    EXPECT_EQ(clipIdFromUrl("https://cdn.example/clips/" + id + ".mp4"), id) << "any origin: ports change between runs";
    EXPECT_EQ(clipIdFromUrl("http://h/cdn/clips/" + id + ".mp4/extra"), "");
    EXPECT_EQ(clipIdFromUrl("http://h/cdn/clips/../" + id + ".mp4"), "");
    EXPECT_EQ(clipIdFromUrl("http://h/cdn/clips/" + id.toUpper() + ".mp4"), "");
    EXPECT_EQ(clipIdFromUrl("not a url"), "");
    EXPECT_EQ(parseId(id), id);
    EXPECT_EQ(parseId(id + "0"), "");
    EXPECT_EQ(parseId("../../etc/passwd"), "");
}

struct ArgumentCase {
    const char* name;
    QStringList arguments;
    bool valid;
};

class ServiceArgumentsTest : public ::testing::TestWithParam<ArgumentCase> { };

TEST_P(ServiceArgumentsTest, AcceptsOnlyWellFormedCommandLines)
{
    const auto parsed = parseArguments(QStringList { "quorvel-service" } + GetParam().arguments);
    EXPECT_EQ(std::holds_alternative<ServiceConfig>(parsed), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, ServiceArgumentsTest,
    ::testing::Values(ArgumentCase { "minimal", { "--data", "/tmp/x" }, true },
        ArgumentCase { "everything",
            { "--data", "/tmp/x", "--port", "0", "--instant", "--debug-machine", "ab", "--debug-token", "t",
                "--min-build", "3", "--free-credits", "10", "--release", "2=1.0.1" },
            true },
        ArgumentCase { "no_data", { "--port", "0" }, false },
        ArgumentCase { "port_out_of_range", { "--data", "/tmp/x", "--port", "70000" }, false },
        ArgumentCase { "port_not_a_number", { "--data", "/tmp/x", "--port", "http" }, false },
        ArgumentCase { "debug_machine_without_token", { "--data", "/tmp/x", "--debug-machine", "ab" }, false },
        ArgumentCase { "negative_credits", { "--data", "/tmp/x", "--free-credits", "-1" }, false },
        ArgumentCase { "bad_release", { "--data", "/tmp/x", "--release", "one" }, false },
        ArgumentCase { "unknown_option", { "--data", "/tmp/x", "--frobnicate" }, false }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
