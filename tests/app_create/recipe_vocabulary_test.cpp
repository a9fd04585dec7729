#include "app/create/recipe_vocabulary.h"
#include "support/environment_guard.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <set>

namespace quorvel::create {
namespace {

using namespace vocabulary;

using quorvel::testing::EnvironmentGuard;

struct NamedList {
    const char* name;
    QStringList entries;
    int expectedCount;
};

std::vector<NamedList> allLists()
{
    return { { "styles", styles(), 18 }, { "motions", motionKeys(), 11 }, { "vibes", vibes(), 9 },
        { "samplePrompts", samplePrompts(), 28 } };
}

// The plans screen advertises these numbers; the lists must stay in step with that text.
TEST(RecipeVocabulary, ListSizesMatchTheAdvertisedCountsAndHaveNoDuplicates)
{
    for (const NamedList& list : allLists()) {
        SCOPED_TRACE(list.name);
        EXPECT_EQ(list.entries.size(), list.expectedCount);
        EXPECT_EQ(QSet<QString>(list.entries.begin(), list.entries.end()).size(), list.entries.size());
    }
    EXPECT_EQ(styles().size(), styleCount);
    EXPECT_EQ(int(motions().size()), motionCount);
    EXPECT_EQ(vibes().size(), vibeCount);
    EXPECT_EQ(samplePrompts().size(), samplePromptCount);
}

// Keys travel to the service and into history records unchanged, and style keys become URL paths.
TEST(RecipeVocabulary, EveryKeyIsAPlainLowerCaseWireValue)
{
    const QRegularExpression singleWord(QStringLiteral("^[a-z]+$"));
    const QRegularExpression words(QStringLiteral("^[a-z]+(?:[ -][a-z]+)*$"));
    for (const QString& key : styles())
        EXPECT_TRUE(singleWord.match(key).hasMatch()) << key.toStdString();
    for (const QString& key : vibes())
        EXPECT_TRUE(singleWord.match(key).hasMatch()) << key.toStdString();
    for (const QString& key : motionKeys())
        EXPECT_TRUE(words.match(key).hasMatch()) << key.toStdString();

    QJsonArray all;
    for (const NamedList& list : allLists())
        for (const QString& entry : list.entries)
            all.append(entry);
    const QJsonArray back = QJsonDocument::fromJson(QJsonDocument(all).toJson()).array();
    EXPECT_EQ(back, all);

    // Spaces and hyphens are part of the key; some styles are single words with no separator.
    for (const char* key : { "slow pan", "sideways track", "push-in" })
        EXPECT_TRUE(motionKeys().contains(QString::fromUtf8(key))) << key;
    for (const char* key : { "oilpaint", "stainedglass", "ukiyoe" })
        EXPECT_TRUE(styles().contains(QString::fromUtf8(key))) << key;
    EXPECT_EQ(samplePrompts().at(22), "a glassblower's molten orb glowing like a tiny sun"); // ASCII apostrophe
}

// A fresh create screen starts from these; each must be an entry of its list.
TEST(RecipeVocabulary, DefaultsAreEntriesOfTheirLists)
{
    EXPECT_EQ(styles().indexOf(defaultStyle()), 0);
    EXPECT_EQ(motionKeys().indexOf(defaultMotion()), 1);
    EXPECT_EQ(vibes().indexOf(defaultVibe()), 1);
}

TEST(RecipeVocabulary, MotionLookupIsExactWithDriftAsFallback)
{
    EXPECT_EQ(motion("slow pan").cue, Cue::pan);
    EXPECT_EQ(motion("push-in").description, "Move closer to the subject");
    for (const char* unknown : { "", "Drift", "slow pan ", "slow-pan", "pushin", "zoom" }) {
        SCOPED_TRACE(unknown);
        EXPECT_FALSE(isMotionKey(QString::fromUtf8(unknown)));
        EXPECT_EQ(motion(QString::fromUtf8(unknown)).key, "drift");
        EXPECT_EQ(motion(QString::fromUtf8(unknown)).description, "Float gently diagonally");
        EXPECT_EQ(motion(QString::fromUtf8(unknown)).cue, Cue::diagonal);
    }
}

TEST(RecipeVocabulary, EveryCueBelongsToExactlyOneMotion)
{
    std::set<Cue> cues;
    for (const Motion& m : motions()) {
        EXPECT_TRUE(cues.insert(m.cue).second) << m.key.toStdString();
        EXPECT_FALSE(m.description.isEmpty());
    }
    EXPECT_EQ(cues.size(), 11u);
}

TEST(RecipeVocabulary, StyleThumbnailIsBasePlusStylesPath)
{
    EXPECT_EQ(styleThumbnailUrl("noir", "http://127.0.0.1:4040/cdn/"), "http://127.0.0.1:4040/cdn/styles/noir.png");
    for (const QString& key : styles()) {
        const QString address = styleThumbnailUrl(key, "https://cdn.example.test/");
        const QUrl url(address, QUrl::StrictMode);
        EXPECT_TRUE(url.isValid()) << address.toStdString();
        // Nothing in a key needs escaping, so the address is already its own encoded form.
        EXPECT_EQ(url.toString(QUrl::FullyEncoded), address);
    }
    EXPECT_EQ(styleAccessibilityLabel("noir"), "noir style");
}

TEST(RecipeVocabulary, StyleThumbnailFollowsTheRunTimeCdnBase)
{
    EnvironmentGuard cdn("QUORVEL_CDN_URL");
    qputenv("QUORVEL_CDN_URL", "http://127.0.0.1:4041/assets");
    EXPECT_EQ(styleThumbnailUrl("ukiyoe"), "http://127.0.0.1:4041/assets/styles/ukiyoe.png");
}

TEST(RecipeVocabulary, TierTextsUseMiddleDotsAndDebugNeverShowsACost)
{
    const QualityTier& lite = tier(true);
    const QualityTier& standard = tier(false);
    EXPECT_TRUE(lite.lite);
    EXPECT_FALSE(standard.lite);
    EXPECT_EQ(lite.accessibilityLabel(), "Lite tier, 1 wumble credit");
    EXPECT_EQ(standard.accessibilityLabel(), "Standard tier, 5 wumble credits");
    EXPECT_EQ(lite.recipeCardText(false), QString::fromUtf8("Lite \u00B7 1 wumble credit"));
    EXPECT_EQ(standard.recipeCardText(false), QString::fromUtf8("Standard \u00B7 5 wumble credits"));
    EXPECT_EQ(lite.recipeCardText(true), QString::fromUtf8("Lite \u00B7 Debug"));
    EXPECT_EQ(standard.recipeCardText(true), QString::fromUtf8("Standard \u00B7 Debug"));
    for (const QualityTier& t : tiers())
        EXPECT_FALSE(t.recipeCardText(true).contains("credit")) << t.title.toStdString();
    // A plain hyphen, not a dash.
    EXPECT_EQ(tierHint(), "Quality tier applies per generation - switch anytime");
}

} // namespace
} // namespace quorvel::create
