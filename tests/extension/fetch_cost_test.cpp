#include "extension/quorvel_playback.h"
#include "extension_fixture.h"
#include "platform/network_cost.h"
#include "platform/power_source.h"
#include "support/private_bus.h"
#include "system_services.h"

#include "support/coro.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTest>

#include <functional>

namespace quorvel::extension {
namespace {

// NetworkManager and UPower on a bus of the test's own, read through the real platform objects: on a
// metered connection or on battery the feed is still read, cached clips play, nothing new is fetched
// (not even streamed), and when the connection or the power changes back the missing clip comes.
TEST(FetchCost, MeteredOrOnBatteryPlaysWhatIsCachedAndFetchesNothingNew)
{
    const struct {
        const char* name;
        std::function<void(testing::SystemServices&, bool costly)> set;
    } cases[] = {
        { "metered", [](testing::SystemServices& s, bool costly) { s.setMetered(costly ? 1 : 2); } },
        { "guessed metered", [](testing::SystemServices& s, bool costly) { s.setMetered(costly ? 3 : 4); } },
        { "on battery", [](testing::SystemServices& s, bool costly) { s.setOnBattery(costly); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::PrivateBus bus;
        testing::SystemServices services(bus.address());
        c.set(services, true);
        testing::ExtensionFixture fixture;
        testing::LoopbackHttpServer server;
        testing::LogCapture log;
        auto& env = *fixture.environment;
        env.networkCost = platform::makeNetworkCost(bus.address());
        env.powerSource = platform::makePowerSource(bus.address());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return env.networkCost->isMetered() || env.powerSource->isOnBattery(); }, 5000));

        const QUrl fresh = server.url("/s/new.mp4"), cached = server.url("/s/old.mp4");
        server.serve("/feed",
            testing::CannedReply { 200, {},
                QStringLiteral(R"({"videos":[{"url":"%1"},{"url":"%2"}]})")
                    .arg(fresh.toString(), cached.toString())
                    .toUtf8() });
        server.serve("/s/new.mp4", testing::CannedReply { 200, {}, "new clip" });
        const QString cachedFile
            = testing::writeFile(QDir(env.cacheDirectory).filePath(cacheFileName(cached)), "old clip");
        env.serviceBaseUrl = server.url().toString();

        auto owned = std::make_unique<testing::FakeMediaPlayer>();
        testing::FakeMediaPlayer& player = *owned;
        QuorvelPlayback playback(
            fixture.environment, std::move(owned), false, std::make_shared<PreferenceRetentionStorage>(nullptr));
        testing::await(playback.loadFeed());
        EXPECT_EQ(server.requestsTo("/feed").size(), 1) << "the feed itself is still read";
        player.finish();
        EXPECT_EQ(player.items, (QList<QUrl> { QUrl::fromLocalFile(cachedFile), QUrl::fromLocalFile(cachedFile) }))
            << "the uncached clip is skipped, never streamed";
        QTest::qWait(150);
        EXPECT_TRUE(server.requestsTo("/s/new.mp4").isEmpty()) << "nothing new is downloaded";

        c.set(services, false);
        const QString freshName = cacheFileName(fresh);
        ASSERT_TRUE(QTest::qWaitFor([&] { return log.contains("cached " + freshName); }, 5000))
            << log.messages().join('\n').toStdString();
        player.finish();
        EXPECT_EQ(player.currentSource(), QUrl::fromLocalFile(QDir(env.cacheDirectory).filePath(freshName)));
    }
}

} // namespace
} // namespace quorvel::extension
