#include "platform/linux/appcast.h"
#include "platform/updater.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>

namespace {

using quorvel::platform::AppcastUpdater;
using quorvel::platform::UpdateCheckResult;
using quorvel::platform::detail::AppcastItem;
using quorvel::platform::detail::compareVersions;
using quorvel::platform::detail::parseAppcast;
using quorvel::testing::CannedReply;
using quorvel::testing::LoopbackHttpServer;

QByteArray feed(const QByteArray& items)
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:quorvel=\"https://quorvel.com/xml-namespaces/appcast\">"
           "<channel><title>Quorvel</title>"
        + items + "</channel></rss>";
}

QByteArray item(const char* version, const char* shortVersion, const char* url)
{
    return QByteArray("<item><title>v</title><enclosure url=\"") + url + "\" quorvel:version=\"" + version
        + "\" quorvel:shortVersionString=\"" + shortVersion + "\" length=\"1\" type=\"application/zip\"/></item>";
}

TEST(Appcast, ComparesVersionsNumerically)
{
    const struct {
        const char* left;
        const char* right;
        int sign;
    } rows[] = {
        { "1.10", "1.9", 1 },
        { "1.0", "1", 0 },
        { "2", "10", -1 },
        { "1.2.3", "1.2.3", 0 },
        { "1.2", "1.2.1", -1 },
        { "3b1", "3", 0 },
        { "", "0", 0 },
        { "99999999999999999999999", "1", 1 },
    };
    for (const auto& row : rows) {
        const int got = compareVersions(row.left, row.right);
        EXPECT_EQ((got > 0) - (got < 0), row.sign) << row.left << " vs " << row.right;
    }
}

TEST(Appcast, KeepsOnlyItemsWithAVersionAndAWebLink)
{
    const auto parsed = parseAppcast(feed(item("5", "1.1", "https://h/a.zip") + item("", "1.2", "https://h/b.zip")
        + item("7", "1.3", "file:///etc/passwd") + item("6", "", "http://h/c.zip")
        + "<enclosure url=\"https://h/outside.zip\" quorvel:version=\"99\"/>"));
    ASSERT_TRUE(std::holds_alternative<QList<AppcastItem>>(parsed));
    const auto& items = std::get<QList<AppcastItem>>(parsed);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].version, "5");
    EXPECT_EQ(items[1].downloadUrl, QUrl("http://h/c.zip"));

    for (const QByteArray& bad : { QByteArray("<html><body>maintenance</body></html>"), QByteArray("<rss><channel>"),
             QByteArray("{\"json\":true}"), QByteArray() })
        EXPECT_TRUE(std::holds_alternative<QString>(parseAppcast(bad))) << bad.constData();
}

class AppcastUpdaterTest : public ::testing::Test {
protected:
    UpdateCheckResult check(const QString& currentVersion, bool userInitiated = true)
    {
        AppcastUpdater updater(network, server.url("/appcast.xml"), currentVersion);
        QSignalSpy spy(&updater, &AppcastUpdater::checkFinished);
        userInitiated ? updater.checkForUpdates() : updater.start();
        EXPECT_TRUE(spy.wait(10'000));
        return spy.isEmpty() ? UpdateCheckResult {} : spy.first().first().value<UpdateCheckResult>();
    }

    LoopbackHttpServer server;
    QNetworkAccessManager network;
};

TEST_F(AppcastUpdaterTest, OffersTheHighestVersionWhenNewer)
{
    server.serve("/appcast.xml",
        { 200, { { "Content-Type", "application/rss+xml" } },
            feed(item("9", "1.9", "https://h/9.zip") + item("10", "1.10", "https://h/10.zip")
                + item("3", "1.3", "https://h/3.zip")) });
    const auto newer = check("9");
    EXPECT_EQ(newer.kind, UpdateCheckResult::Kind::UpdateAvailable);
    EXPECT_EQ(newer.latestVersion, "1.10");
    EXPECT_EQ(newer.downloadUrl, QUrl("https://h/10.zip"));
    EXPECT_TRUE(newer.userInitiated);

    EXPECT_EQ(check("10").kind, UpdateCheckResult::Kind::UpToDate);
    EXPECT_EQ(check("11").kind, UpdateCheckResult::Kind::UpToDate);
}

TEST_F(AppcastUpdaterTest, BadAnswersAreFailuresNotUpToDate)
{
    const struct {
        const char* name;
        CannedReply reply;
    } rows[] = {
        { "server error", { 500, {}, "oops" } },
        { "not found", { 404, {}, feed(item("99", "9.9", "https://h/x.zip")) } },
        { "not a feed", { 200, {}, "<html>captive portal</html>" } },
        { "no versions", { 200, {}, feed("") } },
        { "cut mid-body", { 200, {}, feed(item("99", "9.9", "https://h/x.zip")), CannedReply::Mode::CutMidBody } },
    };
    for (const auto& row : rows) {
        server.serve("/appcast.xml", row.reply);
        const auto result = check("1");
        EXPECT_EQ(result.kind, UpdateCheckResult::Kind::Failed) << row.name;
        EXPECT_FALSE(result.errorText.isEmpty()) << row.name;
    }
}

TEST_F(AppcastUpdaterTest, StartChecksQuietlyOnlyOnce)
{
    server.serve("/appcast.xml", { 200, {}, feed(item("2", "1.1", "https://h/2.zip")) });
    AppcastUpdater updater(network, server.url("/appcast.xml"), "1");
    QSignalSpy spy(&updater, &AppcastUpdater::checkFinished);
    updater.start();
    updater.start();
    ASSERT_TRUE(spy.wait(10'000));
    EXPECT_FALSE(spy.wait(300));
    ASSERT_EQ(spy.size(), 1);
    EXPECT_FALSE(spy.first().first().value<UpdateCheckResult>().userInitiated);
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().method, "GET");
}

TEST_F(AppcastUpdaterTest, AnUnreachableServerIsAFailure)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(closed.serverPort()));
    closed.close();
    AppcastUpdater updater(network, url, "1");
    QSignalSpy spy(&updater, &AppcastUpdater::checkFinished);
    updater.checkForUpdates();
    ASSERT_TRUE(spy.wait(10'000));
    EXPECT_EQ(spy.first().first().value<UpdateCheckResult>().kind, UpdateCheckResult::Kind::Failed);
}

} // namespace
