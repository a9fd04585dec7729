#include "platform/appcast.h"
#include "platform/http_answer.h"
#include "platform/updater.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>

namespace {

using quorvel::platform::AppcastUpdater;
using quorvel::platform::UpdateCheckResult;
using quorvel::testing::CannedReply;

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
        const char *left, *right;
        int sign;
    } rows[] = { { "1.10", "1.9", 1 }, { "1.0", "1", 0 }, { "2", "10", -1 }, { "1.2", "1.2.1", -1 }, { "3b1", "3", 0 },
        { "", "0", 0 }, { "99999999999999999999999", "1", 1 } };
    for (const auto& row : rows) {
        const int got = quorvel::platform::detail::compareVersions(row.left, row.right);
        EXPECT_EQ((got > 0) - (got < 0), row.sign) << row.left << " vs " << row.right;
    }
}

class AppcastUpdaterTest : public ::testing::Test {
protected:
    QList<UpdateCheckResult> check(const QString& currentVersion, bool userInitiated = true, QUrl url = {})
    {
        AppcastUpdater updater(network, url.isEmpty() ? server.url("/appcast.xml") : url, currentVersion);
        QSignalSpy spy(&updater, &AppcastUpdater::checkFinished);
        userInitiated ? updater.checkForUpdates() : (updater.start(), updater.start());
        EXPECT_TRUE(spy.wait(10'000));
        EXPECT_FALSE(!userInitiated && spy.wait(300)); // a second start must not check again
        QList<UpdateCheckResult> results;
        for (const auto& signal : spy)
            results.append(signal.first().value<UpdateCheckResult>());
        return results;
    }

    quorvel::testing::LoopbackHttpServer server;
    QNetworkAccessManager network;
};

TEST_F(AppcastUpdaterTest, OffersTheHighestVersionWhenNewer)
{
    server.serve("/appcast.xml",
        { 200, { { "Content-Type", "application/rss+xml" } },
            // Only items with a version and a web link count; a bare enclosure outside an item does not.
            feed(item("9", "1.9", "https://h/9.zip") + item("10", "1.10", "http://h/10.zip")
                + item("3", "1.3", "https://h/3.zip") + item("", "9.0", "https://h/b.zip")
                + item("70", "7.0", "file:///etc/passwd")
                + "<enclosure url=\"https://h/outside.zip\" quorvel:version=\"99\"/>") });
    const auto newer = check("9").value(0);
    EXPECT_EQ(newer.kind, UpdateCheckResult::Kind::UpdateAvailable);
    EXPECT_EQ(newer.latestVersion, "1.10");
    EXPECT_EQ(newer.downloadUrl, QUrl("http://h/10.zip"));
    EXPECT_TRUE(newer.userInitiated);
    EXPECT_EQ(check("10").value(0).kind, UpdateCheckResult::Kind::UpToDate);

    // Starting twice checks once, quietly.
    const auto before = server.requests().size();
    const auto quiet = check("1", false);
    ASSERT_EQ(quiet.size(), 1);
    EXPECT_FALSE(quiet.first().userInitiated);
    EXPECT_EQ(server.requests().size(), before + 1);
    EXPECT_EQ(server.requests().last().method, "GET");
}

TEST_F(AppcastUpdaterTest, BadAnswersAreFailuresNotUpToDate)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QUrl unreachable(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(closed.serverPort()));
    closed.close();
    const struct {
        const char* name;
        CannedReply reply;
        QUrl url;
    } rows[] = {
        { "server error", { 500, {}, "oops" }, {} },
        { "not found", { 404, {}, feed(item("99", "9.9", "https://h/x.zip")) }, {} },
        { "not a feed", { 200, {}, "<html>captive portal</html>" }, {} },
        { "unterminated", { 200, {}, "<rss><channel>" }, {} },
        { "empty", { 200, {}, "" }, {} },
        { "no versions", { 200, {}, feed("") }, {} },
        { "cut mid-body", { 200, {}, feed(item("99", "9.9", "https://h/x.zip")), CannedReply::Mode::CutMidBody }, {} },
        { "unreachable", {}, unreachable },
    };
    for (const auto& row : rows) {
        server.serve("/appcast.xml", row.reply);
        const auto result = check("1", true, row.url).value(0);
        EXPECT_EQ(result.kind, UpdateCheckResult::Kind::Failed) << row.name;
        EXPECT_FALSE(result.errorText.isEmpty()) << row.name;
    }
}

TEST_F(AppcastUpdaterTest, AFeedThatNeverEndsIsCutOffAsTooLarge)
{
    server.serve("/appcast.xml", { 200, {}, feed(item("99", "9.9", "https://h/x.zip")), CannedReply::Mode::Endless });
    const auto result = check("1").value(0);
    EXPECT_EQ(result.kind, UpdateCheckResult::Kind::Failed);
    EXPECT_EQ(result.errorText, "The update feed is too large.");
    EXPECT_LT(server.streamedBytes(), (qint64(1) << 20) + quorvel::testing::kLoopbackBufferSlack);
}

TEST(ReplyLimit, AnAnnouncedLengthOverTheBoundStopsTheTransferAndOneAtTheBoundArrivesWhole)
{
    quorvel::testing::LoopbackHttpServer server;
    QNetworkAccessManager network;
    server.serve("/big", { 200, {}, QByteArray(4096, 'x') });
    server.serve("/exact", { 200, {}, QByteArray(1024, 'y') });
    const auto fetch = [&](const QString& path, qint64 bound) {
        QNetworkReply* reply = network.get(QNetworkRequest(server.url(path)));
        quorvel::platform::limitReplyBody(*reply, bound);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        EXPECT_TRUE(reply->isFinished() || finished.wait(10'000));
        reply->deleteLater();
        return reply;
    };
    QNetworkReply* big = fetch("/big", 1024);
    EXPECT_TRUE(quorvel::platform::exceededReplyLimit(*big));
    EXPECT_EQ(big->error(), QNetworkReply::OperationCanceledError);
    QNetworkReply* exact = fetch("/exact", 1024);
    EXPECT_FALSE(quorvel::platform::exceededReplyLimit(*exact));
    EXPECT_EQ(exact->error(), QNetworkReply::NoError);
    EXPECT_EQ(exact->readAll(), QByteArray(1024, 'y'));
}

} // namespace
