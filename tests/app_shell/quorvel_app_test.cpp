#include "app/client/auth_store.h"
#include "app/client/generation_store.h"
#include "app/shell/quorvel_app.h"
#include "app/shell/update_check_model.h"
#include "tests/app_shell/shell_doubles.h"

#include <gtest/gtest.h>

namespace {

using quorvel::app::QuorvelApp;
using quorvel::app::WindowDirectory;

class QuorvelAppTest : public ::testing::Test, protected quorvel::testing::AppDoubles {
protected:
    std::unique_ptr<QuorvelApp> makeApp()
    {
        auto app = std::make_unique<QuorvelApp>(services("/home/u/Downloads/Quorvel.app", { "/home/u/Applications" }));
        app->windows().setHost(&host);
        return app;
    }

    quorvel::testing::ObjectWindowHost host;
};

TEST_F(QuorvelAppTest, StartsTheUpdaterOnceAndMakesStoresOnlyWhenAsked)
{
    const auto app = makeApp();
    EXPECT_EQ(updater.starts, 1);
    EXPECT_EQ(updater.checks, 0) << "a launch never asks on the user's behalf";
    EXPECT_FALSE(app->hasAuth());
    EXPECT_FALSE(app->hasGeneration());
    EXPECT_FALSE(app->hasAppLocation());

    auto& generation = app->generation();
    EXPECT_TRUE(app->hasAuth()) << "the generation store works through the one auth store";
    EXPECT_EQ(&app->generation(), &generation);
    EXPECT_EQ(&app->auth(), &app->auth());
    EXPECT_FALSE(app->auth().enrolling());
    EXPECT_FALSE(app->auth().enrollmentError());
    EXPECT_EQ(&app->appLocation(), &app->appLocation());
    EXPECT_TRUE(app->appLocation().shouldOfferMove());
    EXPECT_EQ(app->appLocation().destinationPath(), "/home/u/Applications/Quorvel.app");
}

// The Debian package's copy is installed where it is: no move, no launcher entry of its own (the
// package brings one), and "Check for Updates…" still answers there.
TEST_F(QuorvelAppTest, APackagedCopyStaysWhereItIsAndStillChecksForUpdates)
{
    QuorvelApp app(services("/usr/lib/quorvel/Quorvel.app", { "/home/u/Applications", "/usr/lib/quorvel" }));
    app.windows().setHost(&host);
    app.windows().openMainWindow();
    EXPECT_FALSE(app.appLocation().shouldOfferMove());

    auto& updates = app.updates();
    updates.checkForUpdates();
    EXPECT_EQ(updater.checks, 1);
    updater.answer({ quorvel::platform::UpdateCheckResult::Kind::UpdateAvailable, "1.1",
        QUrl("https://quorvel.com/download"), {}, true });
    EXPECT_EQ(updates.state(), quorvel::app::UpdateCheckModel::State::updateAvailable);
    EXPECT_EQ(updates.downloadUrl(), QUrl("https://quorvel.com/download"));

    EXPECT_TRUE(entries.installed.empty());
    EXPECT_TRUE(files.journal.isEmpty()) << "nothing is written next to the package's files";
}

TEST_F(QuorvelAppTest, OpeningAWindowTwiceGivesOneWindowBroughtToTheFront)
{
    const auto app = makeApp();
    auto& windows = app->windows();
    for (const QString id : { "create", "library", "preview", "upgrade" }) {
        host.journal.clear();
        ASSERT_TRUE(windows.openWindow(id)) << id.toStdString();
        QObject* first = windows.window(id);
        ASSERT_TRUE(windows.openWindow(id));
        EXPECT_EQ(windows.window(id), first) << id.toStdString();
        EXPECT_EQ(host.journal, (QStringList { "create " + id, "raise " + id }));

        windows.dismissWindow(id);
        EXPECT_FALSE(windows.isOpen(id));
        windows.dismissWindow(id); // closing a closed window is harmless
        ASSERT_TRUE(windows.openWindow(id));
        EXPECT_EQ(host.journal.last(), "create " + id) << "a closed window opens anew";
    }
    EXPECT_EQ(host.owned.size(), 4) << "one window per id";
    EXPECT_FALSE(windows.openWindow("settings"));
}

TEST_F(QuorvelAppTest, StoresOutliveEveryWindow)
{
    const auto app = makeApp();
    auto& windows = app->windows();
    windows.openMainWindow();
    windows.openWindow("create");
    windows.openWindow("preview");
    auto* generation = &app->generation();
    auto* location = &app->appLocation();
    app->generation().start({}); // refused: no prompt, which leaves a visible error behind
    const auto error = app->generation().error();
    ASSERT_TRUE(error);

    for (QObject* window : QList<QObject*>(host.owned))
        host.closeWindow(window);
    EXPECT_EQ(windows.mainWindowCount(), 0);
    EXPECT_FALSE(windows.isOpen("create"));

    windows.openWindow("preview");
    EXPECT_EQ(&app->generation(), generation);
    EXPECT_EQ(&app->appLocation(), location);
    EXPECT_EQ(app->generation().error(), error) << "a reopened window sees the same state";
}

TEST_F(QuorvelAppTest, MainWindowGroupHoldsSeveralAndShowRaisesTheLatest)
{
    const auto app = makeApp();
    auto& windows = app->windows();
    windows.showMainWindow();
    EXPECT_EQ(host.journal, QStringList { "create main" }) << "nothing open: a new one";
    windows.openMainWindow();
    EXPECT_EQ(windows.mainWindowCount(), 2);
    host.journal.clear();
    windows.showMainWindow();
    EXPECT_EQ(host.journal, QStringList { "raise main" });
    EXPECT_EQ(windows.mainWindowCount(), 2);
}

TEST_F(QuorvelAppTest, VersionTextFallsBackWhenTheBundleSaysNothing)
{
    const auto app = makeApp();
    EXPECT_EQ(app->versionText(), "Quorvel 1.0 (0)");
    system.main = quorvel::platform::BundleInfo { "/x/Quorvel.app", "com.quorvel.Quorvel", "42", "2.1", {}, {} };
    EXPECT_EQ(app->versionText(), "Quorvel 2.1 (42)");
}

} // namespace
