#include "app/create/random_recipe.h"

#include "app/create/recipe_vocabulary.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <random>

namespace quorvel::create {
namespace {

using namespace vocabulary;

constexpr std::uint64_t maxWord = ~std::uint64_t { 0 };

struct WordCase {
    const char* fault;
    std::size_t count;
    std::vector<std::uint64_t> words;
    std::size_t expected;
    std::size_t consumed;
};

// 2^64 mod 18 is 16: words whose low product falls below 16 would favour some indices.
TEST(UniformIndex, TakesTheHighWordAndRejectsOnlyTheBiasedLowWords)
{
    const WordCase cases[] = {
        { "largest word must reach the last index", 18, { maxWord }, 17, 1 },
        { "zero word is biased and must be redrawn", 18, { 0, maxWord }, 17, 2 },
        { "half-way word with zero low part is redrawn", 18,
            { std::uint64_t { 1 } << 63, (std::uint64_t { 1 } << 63) + 1 }, 9, 2 },
        { "low part 16 is at the threshold and kept", 18, { 8198552921648689608u }, 8, 1 },
        { "low part 16 near the top is kept", 18, { 17421924958503465416u }, 17, 1 },
        { "several biased words in a row are all skipped", 18, { 0, 0, 0, 1u << 20 }, 0, 4 },
        { "a power of two never rejects", 8, { 0 }, 0, 1 },
        { "a list of one is always index 0", 1, { 0 }, 0, 1 },
        { "a list of one is always index 0 at the top", 1, { maxWord }, 0, 1 },
    };
    for (const WordCase& c : cases) {
        SCOPED_TRACE(c.fault);
        std::deque<std::uint64_t> words(c.words.begin(), c.words.end());
        std::size_t consumed = 0;
        const std::size_t index = uniformIndex(c.count, [&] {
            ++consumed;
            if (words.empty()) {
                ADD_FAILURE() << "drew more words than scripted";
                return maxWord;
            }
            const std::uint64_t w = words.front();
            words.pop_front();
            return w;
        });
        EXPECT_EQ(index, c.expected);
        EXPECT_EQ(consumed, c.consumed);
    }
}

// Returns scripted indices and records which list sizes were asked for, in order.
class ScriptedSource final : public RandomIndexSource {
public:
    explicit ScriptedSource(std::vector<std::size_t> answers)
        : answers_(std::move(answers))
    {
    }
    std::size_t index(std::size_t count) override
    {
        counts.push_back(count);
        return answers_.at(counts.size() - 1);
    }
    std::vector<std::size_t> counts;

private:
    std::vector<std::size_t> answers_;
};

TEST(RandomRecipe, DrawsStyleMotionVibeAndPromptInThatOrder)
{
    ScriptedSource source({ 13, 3, 8, 22 });
    const RandomRecipe recipe = drawRandomRecipe(source);
    EXPECT_EQ(source.counts, (std::vector<std::size_t> { 18, 11, 9, 28 }));
    EXPECT_EQ(recipe.style, "ukiyoe");
    EXPECT_EQ(recipe.motion, "push-in");
    EXPECT_EQ(recipe.vibe, "playful");
    EXPECT_EQ(recipe.prompt, samplePrompts().at(22));
}

TEST(RandomRecipe, ASourceOutOfRangeNeverIndexesPastTheLists)
{
    ScriptedSource source({ 18, 999, 9, std::size_t(-1) });
    const RandomRecipe recipe = drawRandomRecipe(source);
    EXPECT_EQ(recipe.style, styles().last());
    EXPECT_EQ(recipe.motion, motions().back().key);
    EXPECT_EQ(recipe.vibe, vibes().last());
    EXPECT_EQ(recipe.prompt, samplePrompts().last());
}

// Seeded so the run is repeatable; the words go through the same reduction the product uses.
class SeededSource final : public RandomIndexSource {
public:
    std::size_t index(std::size_t count) override
    {
        return uniformIndex(count, [this] { return engine_(); });
    }

private:
    std::mt19937_64 engine_ { 20261207 };
};

TEST(RandomRecipe, OverManyDrawsEveryEntryComesUpAndNoneIsFavoured)
{
    SeededSource source;
    constexpr int draws = 56000;
    std::map<QString, int> styleHits, motionHits, vibeHits, promptHits;
    for (int i = 0; i < draws; ++i) {
        const RandomRecipe r = drawRandomRecipe(source);
        ++styleHits[r.style];
        ++motionHits[r.motion];
        ++vibeHits[r.vibe];
        ++promptHits[r.prompt];
    }
    auto expectEven = [](const std::map<QString, int>& hits, const QStringList& list, const char* name) {
        SCOPED_TRACE(name);
        ASSERT_EQ(hits.size(), std::size_t(list.size())); // nothing outside the list, nothing unreachable
        const double expected = double(draws) / list.size();
        for (const auto& [entry, n] : hits) {
            EXPECT_TRUE(list.contains(entry)) << entry.toStdString();
            EXPECT_NEAR(n, expected, expected * 0.12) << entry.toStdString();
        }
    };
    expectEven(styleHits, styles(), "styles");
    expectEven(motionHits, motionKeys(), "motions");
    expectEven(vibeHits, vibes(), "vibes");
    expectEven(promptHits, samplePrompts(), "prompts");
}

TEST(RandomRecipe, SystemSourceStaysInRange)
{
    SystemRandomIndexSource source;
    for (int i = 0; i < 2000; ++i) {
        EXPECT_LT(source.index(18), 18u);
        EXPECT_EQ(source.index(1), 0u);
    }
    const RandomRecipe r = drawRandomRecipe(source);
    EXPECT_TRUE(samplePrompts().contains(r.prompt));
    EXPECT_TRUE(isMotionKey(r.motion));
}

} // namespace
} // namespace quorvel::create
