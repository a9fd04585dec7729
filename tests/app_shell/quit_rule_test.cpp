// The process's end over the real windows and the app's stores against a loopback service: closing
// the last window mid-generation keeps it alive, the clip still opens its preview, and the process
// ends once nothing is open and nothing runs.
#include "app/client/generation_store.h"
#include "app/shell/main_window.h"
#include "app/shell/quit_rule.h"
#include "app/shell/quorvel_app.h"
#include "app/shell/widget_window_host.h"
#include "support/loopback_http_server.h"
#include "tests/app_shell/shell_doubles.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {

using quorvel::app::QuitRule;
using quorvel::app::QuorvelApp;
using quorvel::testing::CannedReply;

constexpr int kRanOn = 2; // the loop ended because the test said so, not because the app quit
constexpr int kQuit = 1;

class QuitRuleTest : public ::testing::Test, protected quorvel::testing::AppDoubles {
protected:
    QuitRuleTest()
    {
        server.serve("/enroll", { 200, {}, R"({"token":"t"})" });
        server.serve("/generate", { 200, {}, R"({"job":"j"})" });
        server.serve("/jobs/j", [this](const quorvel::testing::ReceivedRequest&) {
            return CannedReply { 200, {}, end.value_or(R"({"done":false,"log":"queued"})") };
        });
        auto appServices = services(root.path() + "/Applications/Quorvel.app", { root.path() + "/Applications" });
        appServices.service = quorvel::app::ServiceConfig { server.url().toString() };
        app = std::make_unique<QuorvelApp>(std::move(appServices));
        host = std::make_unique<quorvel::app::WidgetWindowHost>(*app);
        rule = std::make_unique<QuitRule>(app->generation(), app->appLocation(), app->windows(), [this] {
            ++quits;
            QCoreApplication::exit(kQuit);
        });
    }

    // Runs the application's own event loop (Qt tells of the last window only there): `action`
    // first, then until `settled` holds and what followed from it has been handled. The rule's
    // quit ends it earlier.
    int runLoop(
        std::function<void()> action, std::function<bool()> settled = [] { return true; })
    {
        const int loop = ++*loops;
        QTimer::singleShot(0, std::move(action));
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&check, settled, loops = loops, loop] {
            if (!settled())
                return;
            check.stop();
            // Two turns of the loop for what the last change queued; a loop that ended meanwhile
            // is not ended again in its successor.
            QTimer::singleShot(0, [loops, loop] {
                QTimer::singleShot(0, [loops, loop] {
                    if (*loops == loop)
                        QCoreApplication::exit(kRanOn);
                });
            });
        });
        check.start(1);
        const int code = QCoreApplication::exec();
        ++*loops;
        return code;
    }

    void startJob()
    {
        quorvel::app::GenerationSubmission submission;
        submission.prompt = "a lighthouse in fog";
        submission.style = "Dreamy";
        submission.motion = "Slow Push";
        submission.vibe = "Calm";
        submission.handle = "ana";
        ASSERT_TRUE(app->generation().start(submission));
        ASSERT_TRUE(QTest::qWaitFor([&] { return app->generation().log() == "queued"; }, 10000))
            << app->generation().log().toStdString();
    }

    QTemporaryDir root;
    quorvel::testing::LoopbackHttpServer server;
    std::optional<QByteArray> end;
    std::unique_ptr<QuorvelApp> app;
    std::unique_ptr<quorvel::app::WidgetWindowHost> host;
    std::unique_ptr<QuitRule> rule;
    int quits = 0;
    std::shared_ptr<int> loops = std::make_shared<int>(0);
};

TEST_F(QuitRuleTest, AGenerationOutlivesItsWindowsAndItsClipOpensThePreview)
{
    auto* main = qobject_cast<QWidget*>(app->windows().openMainWindow());
    ASSERT_TRUE(main);
    startJob();

    EXPECT_EQ(runLoop([main] { main->close(); }), kRanOn) << "closing the last window must not end the run";
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(app->windows().mainWindowCount(), 0);
    EXPECT_TRUE(app->generation().isRunning());

    end = R"({"done":true,"ok":true,"clip":"https://cdn.example/1.mp4","log":"queued\ndone"})";
    EXPECT_EQ(runLoop([] {}, [&] { return !app->generation().isRunning(); }), kRanOn);
    EXPECT_TRUE(app->windows().isOpen("preview")) << "the finished clip opens its preview with no main window";
    EXPECT_EQ(quits, 0);

    // Launching again raises a main window over the same state.
    app->windows().showMainWindow();
    EXPECT_EQ(app->windows().mainWindowCount(), 1);
    EXPECT_EQ(app->generation().clipURL(), "https://cdn.example/1.mp4");

    // With nothing running, the process ends with its last window, and only then.
    auto* preview = qobject_cast<QWidget*>(app->windows().window("preview"));
    EXPECT_EQ(runLoop([preview] { preview->close(); }), kRanOn) << "a main window is still open";
    EXPECT_EQ(quits, 0);
    QWidget* raised = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && qobject_cast<quorvel::app::MainWindow*>(window))
            raised = window;
    ASSERT_TRUE(raised);
    EXPECT_EQ(runLoop([raised] { raised->close(); }), kQuit);
    EXPECT_EQ(quits, 1);
}

TEST_F(QuitRuleTest, WithNoWindowAndNothingRunningTheProcessEnds)
{
    auto* main = qobject_cast<QWidget*>(app->windows().openMainWindow());
    EXPECT_EQ(runLoop([main] { main->close(); }), kQuit);
    EXPECT_EQ(quits, 1);

    // A run that fails while no window is open leaves nothing to show: the process ends with it.
    quits = 0;
    startJob();
    end = R"({"done":true,"ok":false,"log":"queued\nrender failed"})";
    EXPECT_EQ(runLoop([] {}, [&] { return !app->generation().isRunning(); }), kQuit);
    EXPECT_EQ(quits, 1);
}

} // namespace
