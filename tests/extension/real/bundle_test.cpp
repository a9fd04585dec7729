// Loads the built bundle's plug-in library as the host does and lets it play offline.
#include "extension_bundle_paths.h"
#include "host/saver_module.h"

#include "support/log_capture.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QJsonObject>
#include <QPluginLoader>
#include <QTest>
#include <QWidget>

namespace {

TEST(Bundle, LoadsAndPlaysTheSampleClipWithoutAFeed)
{
    // A service that answers with something that is not a feed, and a cache that has never seen one.
    quorvel::testing::LoopbackHttpServer server;
    server.serve("/feed", quorvel::testing::CannedReply { 503, {}, "<html>down</html>" });
    qputenv("QUORVEL_SERVICE_URL", server.url().toString().toUtf8());
    quorvel::testing::LogCapture log;

    QPluginLoader loader(QStringLiteral(QUORVEL_EXTENSION_LIBRARY));
    EXPECT_EQ(loader.metaData().value("IID").toString(), QuorvelSaverModule_iid);
    auto* module = qobject_cast<quorvel::saver::SaverModule*>(loader.instance());
    ASSERT_NE(module, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(module->interfaceVersion(), quorvel::saver::SaverModule::kInterfaceVersion);

    {
        auto principal = module->makePrincipal();
        auto controller = principal->makeViewController();
        QWidget* view = controller->loadView(QRect(0, 0, 320, 180), false);
        ASSERT_NE(view, nullptr);
        view->show();
        controller->startAnimation();

        const QString sample
            = QUrl::fromLocalFile(QFileInfo(QUORVEL_EXTENSION_SAMPLE_CLIP).canonicalFilePath()).toString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return log.contains("playing " + sample); }, 10000))
            << log.messages().join('\n').toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !log.messages().filter("item ready").isEmpty(); }, 10000));
        EXPECT_EQ(server.requests().size(), 1);
        controller->stopAnimation();
    }
    EXPECT_TRUE(log.contains("QuorvelExtension.deinit"));
    qunsetenv("QUORVEL_SERVICE_URL");
}

} // namespace
