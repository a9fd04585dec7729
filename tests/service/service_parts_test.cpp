// The small rules of the service: vetting words, clip text, ids and the command line.
#include "service/clip_renderer.h"
#include "service/config.h"
#include "service/request_fields.h"
#include "service/service_api.h"
#include "service/vocabulary.h"

#include "app/create/recipe_vocabulary.h"
#include "support/prompt_boundaries.h"

#include <gtest/gtest.h>

using namespace quorvel::service;

namespace {

TEST(ServiceVocabularyTest, MatchesTheAppAndRefusesWholeWordsOnlyWhateverTheCase)
{
    EXPECT_EQ(vocabulary::styles(), quorvel::create::vocabulary::styles());
    EXPECT_EQ(vocabulary::motions(), quorvel::create::vocabulary::motionKeys());
    EXPECT_EQ(vocabulary::vibes(), quorvel::create::vocabulary::vibes());
    for (const QString& prompt : quorvel::create::vocabulary::samplePrompts())
        EXPECT_FALSE(vocabulary::isRefused(prompt)) << prompt.toStdString();
    EXPECT_TRUE(vocabulary::isRefused("a BLOODY sunset"));
    EXPECT_TRUE(vocabulary::isRefused("guns, roses"));
    EXPECT_FALSE(vocabulary::isRefused("a skillful gunsmith's bloodhound")) << "substrings of longer words pass";
}

TEST(ServicePromptTest, LengthIsCountedAsTheAppCountsIt)
{
    for (const quorvel::testing::PromptBoundary& row : quorvel::testing::promptBoundaries()) {
        const QJsonObject body { { "prompt", row.prompt } };
        try {
            EXPECT_EQ(promptField(body, ServiceApi::kMaxPrompt), row.prompt.trimmed()) << row.name;
            EXPECT_TRUE(row.accepted) << row.name;
        } catch (const ApiError& error) {
            EXPECT_FALSE(row.accepted) << row.name;
            EXPECT_EQ(error.message,
                row.tooLarge ? "This description is too long to send. Use fewer accents and emoji."
                             : "Keep the description under 2000 characters.")
                << row.name;
        }
    }
}

TEST(ServiceClipTextTest, WrapsLongPromptsAndCutsOverlongWords)
{
    const QStringList lines = wrapForClip(QString("word ").repeated(100), 20, 3).split('\n');
    EXPECT_EQ(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_LE(line.size(), 20);
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));
    EXPECT_EQ(wrapForClip(QString(50, 'x'), 20, 5).split('\n'),
        (QStringList { QString(20, 'x'), QString(20, 'x'), QString(10, 'x') }));
    EXPECT_EQ(wrapForClip("  a   fox \n in\tsnow  ", 40, 5), "a fox in snow") << "white space collapses";
}

TEST(ServiceIdsTest, ClipIdsComeOnlyFromClipAddresses)
{
    const QString id = "0123456789abcdef0123456789abcdef";
    EXPECT_EQ(clipIdFromUrl("https://cdn.example/clips/" + id + ".mp4"), id) << "any origin: ports change between runs";
    for (const QString& bad : { "http://h/cdn/clips/" + id + ".mp4/extra", "http://h/cdn/clips/../" + id + ".mp4",
             "http://h/cdn/clips/" + id.toUpper() + ".mp4", QString("not a url") })
        EXPECT_EQ(clipIdFromUrl(bad), "") << bad.toStdString();
    EXPECT_EQ(parseId(id), id);
    EXPECT_EQ(parseId(id + "0"), "");
    EXPECT_EQ(parseId("../../etc/passwd"), "");
}

TEST(ServiceArgumentsTest, AcceptsOnlyWellFormedCommandLines)
{
    const std::vector<std::pair<QStringList, bool>> cases {
        { { "--data", "/tmp/x", "--port", "0", "--instant", "--debug-machine", "ab", "--debug-token", "t",
              "--min-build", "3", "--free-credits", "10", "--release", "2=1.0.1" },
            true },
        { { "--port", "0" }, false },
        { { "--data", "/tmp/x", "--port", "70000" }, false },
        { { "--data", "/tmp/x", "--port", "http" }, false },
        { { "--data", "/tmp/x", "--debug-machine", "ab" }, false },
        { { "--data", "/tmp/x", "--free-credits", "-1" }, false },
        { { "--data", "/tmp/x", "--release", "one" }, false },
        { { "--data", "/tmp/x", "--frobnicate" }, false },
    };
    for (const auto& [arguments, valid] : cases)
        EXPECT_EQ(
            std::holds_alternative<ServiceConfig>(parseArguments(QStringList { "quorvel-service" } + arguments)), valid)
            << arguments.join(' ').toStdString();
}

} // namespace
