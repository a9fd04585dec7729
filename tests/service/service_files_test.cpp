// Files under /cdn/ with byte ranges as a media player asks for them, the checkout pages and
// the appcast.
#include "service_fixture.h"

#include "platform/linux/appcast.h"

#include <QFile>
#include <QTcpSocket>

using namespace quorvel::testing;

namespace {

using ServiceFilesTest = ServiceFixture<>;

QByteArray clipPathOf(const QString& url)
{
    return QUrl(url).path().toUtf8();
}

TEST_F(ServiceFilesTest, LogoAndEveryStyleThumbnailArePngs)
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
}

TEST_F(ServiceFilesTest, UnknownOrEscapingCdnPathsAre404)
{
    for (const QString& path : { QString("/cdn/styles/unknown.png"), QString("/cdn/styles/noir.jpg"),
             QString("/cdn/quorvel.sqlite"), QString("/cdn/clips/%1.mp4").arg(QString(32, 'a')),
             QString("/cdn/styles/..%2F..%2Fquorvel.sqlite"), QString("/cdn/clips/..%2F..%2Fquorvel.sqlite") }) {
        const HttpResult result = client->get(path);
        EXPECT_EQ(result.status, 404) << path.toStdString();
        EXPECT_EQ(result.json().value("error").toString(), "not_found") << path.toStdString();
    }
}

TEST_F(ServiceFilesTest, ClipIsAFastStartH264Mp4)
{
    const QString clip = makeClip();
    const HttpResult result = client->get(QUrl(clip).path());
    ASSERT_EQ(result.status, 200);
    EXPECT_EQ(result.header("Content-Type"), "video/mp4");
    EXPECT_EQ(result.header("Accept-Ranges"), "bytes");
    EXPECT_EQ(result.body.mid(4, 4), "ftyp");
    EXPECT_TRUE(result.body.contains("avc1")) << "H.264";
    const qsizetype moov = result.body.indexOf("moov");
    const qsizetype mdat = result.body.indexOf("mdat");
    ASSERT_GT(moov, 0);
    EXPECT_LT(moov, mdat) << "the index comes first, so playback can start before the download ends";
    EXPECT_EQ(result.header("Content-Length").toLongLong(), result.body.size());
}

TEST_F(ServiceFilesTest, RangesFollowWhatAMediaPlayerAsks)
{
    const QString clip = makeClip();
    const QByteArray whole = client->get(QUrl(clip).path()).body;
    const qint64 size = whole.size();
    ASSERT_GT(size, 1000);
    struct Case {
        const char* name;
        QByteArray range;
        int status;
        qint64 from;
        qint64 to; // inclusive
    };
    const std::vector<Case> cases {
        { "open ended from zero (first request of a player)", "bytes=0-", 206, 0, size - 1 },
        { "open ended seek", "bytes=1000-", 206, 1000, size - 1 },
        { "closed", "bytes=100-199", 206, 100, 199 },
        { "suffix (index at the end)", "bytes=-500", 206, size - 500, size - 1 },
        { "end past the file", "bytes=10-99999999", 206, 10, size - 1 },
    };
    for (const Case& c : cases) {
        const HttpResult result = client->send("GET", QUrl(clip).path(), {}, { { "Range", c.range } });
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.body, whole.mid(c.from, c.to - c.from + 1)) << c.name;
        EXPECT_EQ(result.header("Content-Range"), QString("bytes %1-%2/%3").arg(c.from).arg(c.to).arg(size).toUtf8())
            << c.name;
        EXPECT_EQ(result.header("Accept-Ranges"), "bytes") << c.name;
    }
    for (const QByteArray& bad :
        { QByteArray("bytes=99999999-"), QByteArray("bytes=abc"), QByteArray("bytes=50-10") }) {
        const HttpResult result = client->send("GET", QUrl(clip).path(), {}, { { "Range", bad } });
        EXPECT_EQ(result.status, 416) << bad.toStdString();
        EXPECT_EQ(result.header("Content-Range"), "bytes */" + QByteArray::number(size)) << bad.toStdString();
    }
}

TEST_F(ServiceFilesTest, KeepAliveConnectionServesRangesBackToBackAndHeadSendsNoBody)
{
    const QString clip = makeClip();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, service->port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    const auto exchange = [&](const QByteArray& method, const QByteArray& range) {
        socket.write(method + " " + clipPathOf(clip) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + range + "\r\n\r\n");
        QByteArray received;
        qsizetype headerEnd = -1;
        qint64 length = -1;
        while (socket.waitForReadyRead(5000)) {
            received += socket.readAll();
            headerEnd = received.indexOf("\r\n\r\n");
            if (headerEnd >= 0 && length < 0) {
                const qsizetype at = received.indexOf("Content-Length: ");
                length = received.mid(at + 16, received.indexOf("\r\n", at) - at - 16).toLongLong();
            }
            if (headerEnd >= 0 && (method == "HEAD" || received.size() - headerEnd - 4 >= length))
                break;
        }
        return std::make_pair(received.left(headerEnd), received.mid(headerEnd + 4));
    };
    const auto [head1, body1] = exchange("GET", "bytes=0-9");
    EXPECT_TRUE(head1.startsWith("HTTP/1.1 206")) << head1.toStdString();
    EXPECT_EQ(body1.size(), 10);
    const auto [head2, body2] = exchange("GET", "bytes=-4");
    EXPECT_TRUE(head2.startsWith("HTTP/1.1 206")) << head2.toStdString();
    EXPECT_EQ(body2.size(), 4);
    const auto [head3, body3] = exchange("HEAD", "bytes=0-");
    EXPECT_TRUE(head3.startsWith("HTTP/1.1 206")) << head3.toStdString();
    EXPECT_TRUE(body3.isEmpty());
    EXPECT_EQ(socket.state(), QAbstractSocket::ConnectedState);
}

TEST_F(ServiceFilesTest, CheckoutPagesShowThePlanAndTheEscapedReference)
{
    const HttpResult monthly = client->get("/checkout/monthly?client_reference_id=" + machine);
    EXPECT_EQ(monthly.status, 200);
    EXPECT_TRUE(monthly.header("Content-Type").startsWith("text/html"));
    EXPECT_TRUE(monthly.body.contains("Monthly"));
    EXPECT_TRUE(monthly.body.contains("$1.99"));
    EXPECT_TRUE(monthly.body.contains(machine.toUtf8()));
    const HttpResult yearly = client->get("/checkout/yearly?client_reference_id=" + machine);
    EXPECT_TRUE(yearly.body.contains("Yearly"));
    EXPECT_TRUE(yearly.body.contains("$19.99"));

    const HttpResult hostile
        = client->get("/checkout/monthly?client_reference_id=%3Cscript%3Ealert(1)%3C/script%3E%22");
    EXPECT_EQ(hostile.status, 200);
    EXPECT_FALSE(hostile.body.contains("<script>"));
    EXPECT_TRUE(hostile.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;&quot;"));
}

TEST_F(ServiceFilesTest, SubscribingMakesTheMachinePaidWithAMonthOfCredits)
{
    const HttpResult page = client->send("POST", "/checkout/yearly", "client_reference_id=" + machine.toUtf8(),
        { { "Content-Type", "application/x-www-form-urlencoded" } });
    EXPECT_EQ(page.status, 200);
    const QJsonObject balance = client->get("/balance?user=" + machine, token).json();
    EXPECT_TRUE(balance.value("paid").toBool());
    EXPECT_EQ(balance.value("credits").toInt(), 20) << "a subscription never lowers what is already there";
    EXPECT_EQ(client->send("POST", "/checkout/monthly", "client_reference_id=nobody").status, 404);
}

TEST_F(ServiceFilesTest, AppcastReadsWithTheAppsOwnUpdateParser)
{
    const HttpResult result = client->get("/appcast.xml");
    ASSERT_EQ(result.status, 200);
    const auto parsed = quorvel::platform::detail::parseAppcast(result.body);
    ASSERT_TRUE(std::holds_alternative<QList<quorvel::platform::detail::AppcastItem>>(parsed))
        << std::get<QString>(parsed).toStdString();
    const auto& items = std::get<QList<quorvel::platform::detail::AppcastItem>>(parsed);
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.at(0).version, "1");
    EXPECT_EQ(items.at(0).shortVersion, "1.0.0");
    EXPECT_EQ(client->get(items.at(0).downloadUrl.path()).status, 200) << "the link leads somewhere";
}

} // namespace
