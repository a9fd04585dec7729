// The settings pane: declared as the settings extension before any view exists and for as long
// as it is open; the sheet closes through its own dismiss or the dialog, and reopens.
#include "host/fake_module.h"
#include "host/settings_pane.h"
#include "support/fake_platform.h"

#include <gtest/gtest.h>

#include <QTest>

using namespace quorvel::saver;
using quorvel::testing::FakeModuleScript;
using quorvel::testing::FakePrincipal;

namespace {

using JournalWorkspace = quorvel::testing::FakeWorkspace;

TEST(SettingsPane, DeclaresTheSettingsExtensionAroundItsWholeLife)
{
    FakeModuleScript script;
    JournalWorkspace workspace(script.journal);
    auto principal = std::make_unique<FakePrincipal>(script);
    FakePrincipal* fake = principal.get();
    auto pane = std::make_unique<SettingsPane>(std::move(principal), workspace, "/opt/quorvel-saver");
    ASSERT_TRUE(pane->start());
    ASSERT_GE(script.journal.size(), 3);
    EXPECT_EQ(script.journal.mid(0, 3),
        QStringList({ "declare com.apple.Wallpaper-Settings.extension /opt/quorvel-saver", "make #0",
            "load 480x270 preview #0" }))
        << "the module reads the declaration when its preview view is made";
    EXPECT_TRUE(pane->sheet()->isAncestorOf(fake->lastSheet->view()));

    // The sheet's own dismiss closes it; the pane and its preview stay.
    fake->lastSheet->pressOk();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->isSheetOpen(); }, 2000));
    EXPECT_TRUE(script.journal.contains("destroy sheet"));
    EXPECT_EQ(pane->session().runningCount(), 1);
    EXPECT_TRUE(pane->isDeclaredRunning());

    // So does closing the dialog.
    pane->openSheet();
    ASSERT_TRUE(pane->isSheetOpen());
    pane->sheet()->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->isSheetOpen(); }, 2000));
    EXPECT_EQ(script.journal.count("destroy sheet"), 2);

    pane->openSheet();
    script.journal.clear();
    pane.reset();
    EXPECT_EQ(
        script.journal, QStringList({ "destroy sheet", "stop #0", "destroy #0", "destroy principal", "undeclare" }));
}

} // namespace
