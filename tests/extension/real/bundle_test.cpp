// The built bundle loaded as the host loads it, playing its sample clip through the real player, offscreen.
#include "extension_bundle_paths.h"
#include "saver_module/saver_module.h"

#include "support/log_capture.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

namespace quorvel::extension {
namespace {

TEST(Bundle, LoadsAndPlaysTheSampleClipToItsEndWithoutAFeed)
{
    // A service that answers with something that is not a feed, and a cache that has never seen one.
    testing::LoopbackHttpServer server;
    server.serve("/feed", testing::CannedReply { 503, {}, "<html>down</html>" });
    qputenv("QUORVEL_SERVICE_URL", server.url().toString().toUtf8());
    testing::LogCapture log;

    QPluginLoader loader(QStringLiteral(QUORVEL_EXTENSION_LIBRARY));
    auto* module = qobject_cast<saver::SaverModule*>(loader.instance());
    ASSERT_NE(module, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(module->interfaceVersion(), saver::SaverModule::kInterfaceVersion);
    {
        auto principal = module->makePrincipal();
        auto controller = principal->makeViewController();
        QWidget* view = controller->loadView(QRect(0, 0, 320, 180), false);
        ASSERT_NE(view, nullptr);
        view->show();
        controller->startAnimation();
        const QString playing
            = "playing " + QUrl::fromLocalFile(QFileInfo(QUORVEL_EXTENSION_SAMPLE_CLIP).canonicalFilePath()).toString();
        // The clip's own end of item starts it again: a one-clip playlist loops.
        EXPECT_TRUE(QTest::qWaitFor([&] { return log.messages().count(playing) >= 2; }, 30000))
            << log.messages().join('\n').toStdString();
        EXPECT_FALSE(log.messages().filter(QRegularExpression("^item ready, duration=4\\.\\d+s")).isEmpty());
        EXPECT_TRUE(log.messages().filter("item FAILED").isEmpty());
        EXPECT_EQ(server.requests().size(), 1);
        controller->stopAnimation();
    }
    EXPECT_TRUE(log.contains("QuorvelExtension.deinit"));
    qunsetenv("QUORVEL_SERVICE_URL");
}

} // namespace
} // namespace quorvel::extension
