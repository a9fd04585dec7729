#include "app/library/library_item.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

using library::LibraryItem;

std::optional<LibraryItem> parse(const char* json)
{
    return LibraryItem::fromJson(QJsonDocument::fromJson(json).object());
}

TEST(LibraryItem, WrongOrMissingFieldsTakeTheirDefaults)
{
    const auto item = parse(R"({"url":"https://c/x.mp4","author":7,"date":null,"title":["t"],"prompt":{},
        "style":"noir","motion":true,"vibe":"calm","tier":1,"soundscape":false,"approved":"yes"})");
    ASSERT_TRUE(item);
    LibraryItem expected;
    expected.url = "https://c/x.mp4";
    expected.style = "noir";
    expected.vibe = "calm";
    EXPECT_EQ(*item, expected);
    EXPECT_EQ(item->author, "anonymous");
    EXPECT_EQ(item->soundscape, "none");
}

TEST(LibraryItem, AnEntryWithoutAUsableUrlIsNoItem)
{
    for (const char* json : { R"({})", R"({"url":""})", R"({"url":5})", R"({"url":null,"title":"x"})" })
        EXPECT_EQ(parse(json), std::nullopt) << json;
}

TEST(LibraryItem, ApprovedReadsBooleansAndNumbersByTheirTruth)
{
    struct Row {
        const char* approved;
        bool expected;
    };
    for (const Row& row : { Row { "true", true }, Row { "false", false }, Row { "1", true }, Row { "0", false },
             Row { "-2.5", true }, Row { "0.0", false }, Row { "\"true\"", false }, Row { "null", false } }) {
        const QByteArray json = QByteArray(R"({"url":"u","approved":)") + row.approved + "}";
        EXPECT_EQ(parse(json.constData())->approved, row.expected) << row.approved;
    }
}

TEST(LibraryItem, RemoteTextIsKeptExactly)
{
    const auto item = parse(R"({"url":"u","title":"  <b>שלום</b> 🎬\n ","author":"<i>x</i>"})");
    EXPECT_EQ(item->title, QString::fromUtf8("  <b>שלום</b> 🎬\n "));
    EXPECT_EQ(item->author, "<i>x</i>");
}

TEST(RecipeLine, SeparatorsCapitalisedTierAndSilentSound)
{
    LibraryItem item;
    item.style = "noir";
    item.motion = "push-in";
    item.vibe = "dreamy";
    item.tier = "lite";
    EXPECT_EQ(library::recipe::line(item),
        QString::fromUtf8("Style: noir · Motion: push-in · Vibe: dreamy · Quality: Lite · Sound: Silent"));
    item.tier = "sTANDARD pro";
    item.soundscape = "rain";
    EXPECT_EQ(library::recipe::line(item),
        QString::fromUtf8("Style: noir · Motion: push-in · Vibe: dreamy · Quality: Standard Pro · Sound: rain"));
}

TEST(RecipeLine, CapitalisesEveryWordAndKeepsTheSpaces)
{
    using library::recipe::capitalizeWords;
    EXPECT_EQ(capitalizeWords(""), "");
    EXPECT_EQ(capitalizeWords("lite"), "Lite");
    EXPECT_EQ(capitalizeWords("ULTRA  hd"), "Ultra  Hd");
    EXPECT_EQ(capitalizeWords(" x"), " X");
    EXPECT_EQ(capitalizeWords(QString::fromUtf8("élan vital")), QString::fromUtf8("Élan Vital"));
}

TEST(RecipeLine, HeaderFallsBackOnlyForAnEmptyTitle)
{
    LibraryItem item;
    EXPECT_EQ(library::recipe::headerTitle(item), "Untitled wumble");
    item.title = " ";
    EXPECT_EQ(library::recipe::headerTitle(item), " ");
    item.title = "Harbor";
    EXPECT_EQ(library::recipe::headerTitle(item), "Harbor");
}

} // namespace
} // namespace quorvel::testing
