// Files under /cdn/ with byte ranges as a media player asks for them, the checkout pages and
// the appcast.
#include "service_fixture.h"

#include "platform/appcast.h"

using namespace quorvel::testing;

namespace {

using ServiceFilesTest = ServiceFixture<>;

TEST_F(ServiceFilesTest, LogoAndEveryStyleThumbnailArePngsAndOtherPathsAre404)
{
    QStringList paths { "/cdn/logo.png" };
    for (const char* style : { "cinematic", "anime", "realistic", "retro", "watercolor", "clay", "synthwave", "pixel",
             "oilpaint", "papercraft", "noir", "vaporwave", "storybook", "ukiyoe", "toon", "risograph", "stainedglass",
             "isometric" })
        paths << QString("/cdn/styles/%1.png").arg(style);
    for (const QString& path : paths) {
        const HttpResult result = client->get(path);
        EXPECT_EQ(result.status, 200) << path.toStdString();
        EXPECT_EQ(result.header("Content-Type"), "image/png") << path.toStdString();
        EXPECT_TRUE(result.body.startsWith("\x89PNG\r\n\x1a\n")) << path.toStdString();
    }
    EXPECT_NE(client->get("/cdn/styles/noir.png").body, client->get("/cdn/styles/pixel.png").body);
    for (const QString& path : { QString("/cdn/styles/unknown.png"), QString("/cdn/styles/noir.jpg"),
             QString("/cdn/quorvel.sqlite"), QString("/cdn/clips/%1.mp4").arg(QString(32, 'a')),
             QString("/cdn/styles/..%2F..%2Fquorvel.sqlite"), QString("/cdn/clips/..%2F..%2Fquorvel.sqlite") }) {
        const HttpResult result = client->get(path);
        EXPECT_EQ(result.status, 404) << path.toStdString();
        EXPECT_EQ(result.error(), "not_found") << path.toStdString();
    }
}

TEST_F(ServiceFilesTest, ClipIsAFastStartH264Mp4ServedInRanges)
{
    const QString path = QUrl(makeClip()).path();
    const HttpResult result = client->get(path);
    ASSERT_EQ(result.status, 200);
    const QByteArray& whole = result.body;
    const qint64 size = whole.size();
    EXPECT_EQ(result.header("Content-Type"), "video/mp4");
    EXPECT_EQ(result.header("Content-Length").toLongLong(), size);
    EXPECT_EQ(whole.mid(4, 4), "ftyp");
    EXPECT_TRUE(whole.contains("avc1")) << "H.264";
    EXPECT_GT(whole.indexOf("moov"), 0);
    EXPECT_LT(whole.indexOf("moov"), whole.indexOf("mdat")) << "the index comes first, so playback starts at once";

    for (const auto& [range, from, to] :
        { std::tuple<QByteArray, qint64, qint64>("bytes=0-", 0, size - 1), { "bytes=100-199", 100, 199 },
            { "bytes=-500", size - 500, size - 1 }, { "bytes=10-99999999", 10, size - 1 } }) {
        const HttpResult part = client->send("GET", path, {}, { { "Range", range } });
        EXPECT_EQ(part.status, 206) << range.toStdString();
        EXPECT_EQ(part.body, whole.mid(from, to - from + 1)) << range.toStdString();
        EXPECT_EQ(part.header("Content-Range"), QString("bytes %1-%2/%3").arg(from).arg(to).arg(size).toUtf8());
        EXPECT_EQ(part.header("Accept-Ranges"), "bytes");
    }
    const HttpResult refused = client->send("GET", path, {}, { { "Range", "bytes=99999999-" } });
    EXPECT_EQ(refused.status, 416);
    EXPECT_EQ(refused.header("Content-Range"), "bytes */" + QByteArray::number(size));
}

TEST_F(ServiceFilesTest, CheckoutPagesShowThePlanAndTheEscapedReferenceAndSubscribe)
{
    for (const auto& [plan, name, price] :
        { std::tuple("monthly", "Monthly", "$1.99"), { "yearly", "Yearly", "$19.99" } }) {
        const HttpResult page = client->get(QString("/checkout/%1?client_reference_id=").arg(plan) + machine);
        EXPECT_EQ(page.status, 200);
        EXPECT_TRUE(page.header("Content-Type").startsWith("text/html"));
        EXPECT_TRUE(page.body.contains(name) && page.body.contains(price) && page.body.contains(machine.toUtf8()))
            << plan;
    }
    const HttpResult hostile
        = client->get("/checkout/monthly?client_reference_id=%3Cscript%3Ealert(1)%3C/script%3E%22");
    EXPECT_EQ(hostile.status, 200);
    EXPECT_FALSE(hostile.body.contains("<script>"));
    EXPECT_TRUE(hostile.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;&quot;"));

    const HttpResult paid = client->send("POST", "/checkout/yearly", "client_reference_id=" + machine.toUtf8(),
        { { "Content-Type", "application/x-www-form-urlencoded" } });
    EXPECT_EQ(paid.status, 200);
    const QJsonObject balance = client->get("/balance?user=" + machine, token).json();
    EXPECT_TRUE(balance.value("paid").toBool());
    EXPECT_EQ(balance.value("credits").toInt(), 20) << "a subscription never lowers what is already there";
    EXPECT_EQ(client->send("POST", "/checkout/monthly", "client_reference_id=nobody").status, 404);
}

TEST_F(ServiceFilesTest, AppcastReadsWithTheAppsOwnUpdateParser)
{
    const HttpResult result = client->get("/appcast.xml");
    ASSERT_EQ(result.status, 200);
    using quorvel::platform::detail::AppcastItem;
    const auto parsed = quorvel::platform::detail::parseAppcast(result.body);
    ASSERT_TRUE(std::holds_alternative<QList<AppcastItem>>(parsed)) << std::get<QString>(parsed).toStdString();
    const auto& items = std::get<QList<AppcastItem>>(parsed);
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.at(0).version, "1");
    EXPECT_EQ(items.at(0).shortVersion, "1.0.0");
    EXPECT_EQ(client->get(items.at(0).downloadUrl.path()).status, 200) << "the link leads somewhere";
}

} // namespace
