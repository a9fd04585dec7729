#include "extension/feed_model.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace quorvel::extension {
namespace {

struct DecodeCase {
    const char* name;
    QByteArray body;
    bool decodes;
    size_t videos;
};

TEST(FeedModel, ManifestDecodesOnlyWhenEveryEntryDoes)
{
    const DecodeCase cases[] = {
        { "full entry",
            R"({"videos":[{"url":"https://h/a.mp4","author":"A","location":"L","date":"2025-03-07","title":"T"}]})",
            true, 1 },
        { "nulls count as absent", R"({"videos":[{"url":"https://h/a.mp4","author":null,"title":null}]})", true, 1 },
        { "unknown keys ignored", R"({"videos":[{"url":"https://h/a.mp4","likes":3}],"next":1})", true, 1 },
        { "empty list is valid", R"({"videos":[]})", true, 0 },
        { "non-http url still decodes", R"({"videos":[{"url":"file:///etc/passwd"}]})", true, 1 },
        { "entry without url", R"({"videos":[{"url":"https://h/a.mp4"},{"author":"A"}]})", false, 0 },
        { "empty url", R"({"videos":[{"url":""}]})", false, 0 },
        { "invalid url", R"({"videos":[{"url":"http://[::1"}]})", false, 0 },
        { "url not a string", R"({"videos":[{"url":5}]})", false, 0 },
        { "author of wrong type", R"({"videos":[{"url":"https://h/a.mp4","author":7}]})", false, 0 },
        { "entry not an object", R"({"videos":["https://h/a.mp4"]})", false, 0 },
        { "missing videos", R"({"clips":[]})", false, 0 },
        { "videos not an array", R"({"videos":{}})", false, 0 },
        { "top level array", R"([{"url":"https://h/a.mp4"}])", false, 0 },
        { "truncated body", R"({"videos":[{"url":"https://h/a.mp4"})", false, 0 },
        { "html error page", "<html>500</html>", false, 0 },
        { "empty body", "", false, 0 },
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decodeManifest(c.body);
        ASSERT_EQ(std::holds_alternative<Manifest>(decoded), c.decodes);
        if (c.decodes)
            EXPECT_EQ(std::get<Manifest>(decoded).videos.size(), c.videos);
        else
            EXPECT_FALSE(std::get<ManifestError>(decoded).message.isEmpty());
    }
}

TEST(FeedModel, CacheFileNames)
{
    struct Case {
        const char* url;
        const char* expected;
    } cases[] = {
        { "abc", "0b885c8b_abc" },
        { "https://cdn.example/season/clip.mp4", nullptr },
        { "https://cdn.example/a/b/season/clip.mp4", nullptr },
        { "https://cdn.example/clip.mp4", nullptr },
        { "https://cdn.example/", nullptr },
    };
    EXPECT_EQ(cacheFileName(QUrl(cases[0].url)), cases[0].expected);
    EXPECT_TRUE(cacheFileName(QUrl(cases[1].url)).endsWith("_season_clip.mp4"));
    EXPECT_TRUE(cacheFileName(QUrl(cases[2].url)).endsWith("_season_clip.mp4"));
    // A clip at the root of its host: the file name alone, never a separator in the name.
    EXPECT_EQ(cacheFileName(QUrl(cases[3].url)).mid(8), "_clip.mp4");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const QString name = cacheFileName(QUrl(c.url));
        EXPECT_FALSE(name.contains('/'));
        EXPECT_TRUE(QRegularExpression("^[0-9a-f]{8}_").match(name).hasMatch());
    }
    // The hash covers the whole URL: the same path on another host is another file.
    EXPECT_NE(cacheFileName(QUrl("https://one.example/s/c.mp4")), cacheFileName(QUrl("https://two.example/s/c.mp4")));
}

TEST(FeedModel, CaptionsAndDates)
{
    struct Case {
        const char* name;
        std::optional<QString> author, location, date;
        QString caption;
    } cases[] = {
        { "author and day", QString("A"), std::nullopt, QString("2025-03-07"), QString("A  \u00B7  Mar 7, 2025") },
        { "all three", QString("A"), QString("Oslo"), QString("2024-12-25"),
            QString("A  \u00B7  Oslo  \u00B7  Dec 25, 2024") },
        { "nothing", std::nullopt, std::nullopt, std::nullopt, QString("") },
        { "empty strings dropped", QString(""), QString(""), QString(""), QString("") },
        { "impossible date unchanged", QString("A"), std::nullopt, QString("2025-13-40"),
            QString("A  \u00B7  2025-13-40") },
        { "word date unchanged", std::nullopt, QString("Rome"), QString("yesterday"),
            QString("Rome  \u00B7  yesterday") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Video video { QUrl("https://h/a.mp4"), c.author, c.location, c.date, std::nullopt };
        EXPECT_EQ(captionText(video), c.caption);
    }
    EXPECT_EQ(displayDate(std::nullopt), std::nullopt);
    EXPECT_EQ(displayDate(QString("2025-01-05")), QString("Jan 5, 2025"));
    EXPECT_EQ(captionText(makeFallbackVideo(QUrl::fromLocalFile("/x/QuorvelSample.mp4"))), "Quorvel");
}

TEST(FeedModel, FeedRequestUrl)
{
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1741348800999, Qt::UTC);
    EXPECT_EQ(feedRequestURL("http://127.0.0.1:8080", now, "unknown").toString(),
        "http://127.0.0.1:8080/feed?t=1741348800&user=unknown");
    EXPECT_EQ(feedRequestURL("https://api.example", now, "0A1B-C2").toString(),
        "https://api.example/feed?t=1741348800&user=0A1B-C2");
}

TEST(FeedModel, OnlyHttpClipsAreRemote)
{
    EXPECT_TRUE(isRemoteClipURL(QUrl("https://h/a.mp4")));
    EXPECT_TRUE(isRemoteClipURL(QUrl("HTTP://h/a.mp4")));
    for (const char* url :
        { "file:///etc/passwd", "/etc/passwd", "ftp://h/a.mp4", "data:video/mp4;base64,AA", "http:///a.mp4" })
        EXPECT_FALSE(isRemoteClipURL(QUrl(url))) << url;
}

} // namespace
} // namespace quorvel::extension
