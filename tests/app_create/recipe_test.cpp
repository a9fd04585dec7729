#include "app/create/random_recipe.h"
#include "app/create/recipe_vocabulary.h"
#include "support/environment_guard.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <set>
#include <tuple>

namespace quorvel::create {
namespace {

using namespace vocabulary;

// Keys travel to the service and into history records unchanged, and style keys become URL paths;
// the plans screen advertises the counts.
TEST(RecipeVocabulary, ListsHaveTheirCountsUniqueEntriesAndPlainWireKeys)
{
    // Prompts are plain ASCII sentences too: no typographic quotes, no stray spaces.
    const QRegularExpression word(QStringLiteral("^[a-z]+$")), words(QStringLiteral("^[a-z]+(?:[ -][a-z]+)*$")),
        sentence(QStringLiteral("^[a-z][a-z ,'-]*[a-z]$"));
    for (const auto& [name, entries, count, shape] :
        { std::tuple { "styles", styles(), 18, &word }, std::tuple { "motions", motionKeys(), 11, &words },
            std::tuple { "vibes", vibes(), 9, &word }, std::tuple { "prompts", samplePrompts(), 28, &sentence } }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(entries.size(), count);
        EXPECT_EQ(QSet<QString>(entries.begin(), entries.end()).size(), count);
        for (const QString& key : entries)
            EXPECT_TRUE(shape->match(key).hasMatch()) << key.toStdString();
    }
    EXPECT_EQ((QList<qsizetype> { styleCount, motionCount, vibeCount, samplePromptCount }),
        (QList<qsizetype> { styles().size(), motionKeys().size(), vibes().size(), samplePrompts().size() }));
    // Spaces and hyphens are part of a key; some styles are one word with no separator.
    EXPECT_TRUE(motionKeys().contains("slow pan") && motionKeys().contains("push-in") && styles().contains("oilpaint"));
    EXPECT_EQ(samplePrompts().at(22), "a glassblower's molten orb glowing like a tiny sun"); // ASCII apostrophe
    EXPECT_EQ(styles().indexOf(defaultStyle()), 0);
    EXPECT_EQ(motionKeys().indexOf(defaultMotion()), 1);
    EXPECT_EQ(vibes().indexOf(defaultVibe()), 1);
}

TEST(RecipeVocabulary, MotionLookupIsExactWithDriftAsFallbackAndOneCuePerMotion)
{
    EXPECT_EQ(motion("push-in").description, "Move closer to the subject");
    for (const char* unknown : { "", "Drift", "slow pan ", "slow-pan", "pushin" }) {
        SCOPED_TRACE(unknown);
        EXPECT_FALSE(isMotionKey(QString::fromUtf8(unknown)));
        EXPECT_EQ(motion(QString::fromUtf8(unknown)).key, "drift");
    }
    std::set<Cue> cues;
    for (const Motion& m : motions())
        EXPECT_TRUE(cues.insert(m.cue).second && isMotionKey(m.key)) << m.key.toStdString();
}

TEST(RecipeVocabulary, StyleThumbnailIsTheCdnBasePlusStylesPath)
{
    EXPECT_EQ(styleThumbnailUrl("noir", "http://127.0.0.1:4040/cdn/"), "http://127.0.0.1:4040/cdn/styles/noir.png");
    testing::EnvironmentGuard cdn("QUORVEL_CDN_URL");
    qputenv("QUORVEL_CDN_URL", "http://127.0.0.1:4041/assets");
    EXPECT_EQ(styleThumbnailUrl("ukiyoe"), "http://127.0.0.1:4041/assets/styles/ukiyoe.png");
    EXPECT_EQ(styleAccessibilityLabel("noir"), "noir style");
}

TEST(RecipeVocabulary, TierTextsUseMiddleDotsAndDebugNeverShowsACost)
{
    const QualityTier &lite = tier(true), &standard = tier(false);
    EXPECT_EQ((QStringList { lite.accessibilityLabel(), standard.accessibilityLabel(), lite.recipeCardText(false),
                  standard.recipeCardText(false), lite.recipeCardText(true), standard.recipeCardText(true) }),
        QString::fromUtf8("Lite tier, 1 wumble credit|Standard tier, 5 wumble credits|Lite \u00B7 1 wumble credit|"
                          "Standard \u00B7 5 wumble credits|Lite \u00B7 Debug|Standard \u00B7 Debug")
            .split('|'));
    EXPECT_EQ(tierHint(), "Quality tier applies per generation - switch anytime"); // a plain hyphen
}

constexpr std::uint64_t maxWord = ~std::uint64_t { 0 };

// 2^64 mod 18 is 16: words whose low product falls below 16 would favour some indices.
TEST(UniformIndex, TakesTheHighWordAndRejectsOnlyTheBiasedLowWords)
{
    const struct {
        const char* fault;
        std::size_t count;
        std::vector<std::uint64_t> words;
        std::size_t expected, consumed;
    } cases[] = {
        { "largest word must reach the last index", 18, { maxWord }, 17, 1 },
        { "zero word is biased and must be redrawn", 18, { 0, maxWord }, 17, 2 },
        { "low part 16 is at the threshold and kept", 18, { 8198552921648689608u }, 8, 1 },
        { "several biased words in a row are all skipped", 18, { 0, 0, 0, 1u << 20 }, 0, 4 },
        { "a power of two never rejects", 8, { 0 }, 0, 1 },
        { "a list of one is always index 0", 1, { maxWord }, 0, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        std::size_t consumed = 0;
        const std::size_t index = uniformIndex(c.count, [&] {
            return consumed < c.words.size() ? c.words[consumed++] : (ADD_FAILURE() << "drew too many", maxWord);
        });
        EXPECT_EQ(index, c.expected);
        EXPECT_EQ(consumed, c.consumed);
    }
}

// Returns the scripted indices as they are, in range or not, and records which list sizes were
// asked for, in order.
struct ScriptedSource final : RandomIndexSource {
    std::vector<std::size_t> answers, counts;
    std::size_t index(std::size_t count) override
    {
        counts.push_back(count);
        return answers.at(counts.size() - 1);
    }
};

QStringList fields(const RandomRecipe& r)
{
    return { r.style, r.motion, r.vibe, r.prompt };
}

TEST(RandomRecipe, DrawsStyleMotionVibeAndPromptInThatOrderAndNeverPastTheEnd)
{
    ScriptedSource source;
    source.answers = { 13, 3, 8, 22 };
    const RandomRecipe recipe = drawRandomRecipe(source);
    EXPECT_EQ(source.counts, (std::vector<std::size_t> { 18, 11, 9, 28 }));
    EXPECT_EQ(fields(recipe), (QStringList { "ukiyoe", "push-in", "playful", samplePrompts().at(22) }));

    // A source that breaks its contract still lands inside every list.
    ScriptedSource broken;
    broken.answers = { 18, 999, 9, std::size_t(-1) };
    const RandomRecipe clamped = drawRandomRecipe(broken);
    EXPECT_EQ(fields(clamped),
        (QStringList { styles().last(), motions().back().key, vibes().last(), samplePrompts().last() }));
}

} // namespace
} // namespace quorvel::create
