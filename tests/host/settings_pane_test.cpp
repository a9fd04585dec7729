// The settings pane: declared as the settings extension before any view exists and for as long
// as it is open; the sheet closes through its own dismiss or the dialog, and reopens. Its
// "Start after" choice writes the kit's idle time, and its switch turns the extension on or off.
#include "host/fake_module.h"
#include "host/settings_pane.h"
#include "kit/tessary.h"
#include "support/fake_platform.h"
#include "support/memory_preferences.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTest>

using namespace quorvel::saver;
using quorvel::testing::FakeModuleScript;
using quorvel::testing::FakePrincipal;

namespace {

using JournalWorkspace = quorvel::testing::FakeWorkspace;

// A registry whose one extension is turned on or off by elect(), unless `failure` is set.
class FakeElections final : public ModuleElections {
public:
    FakeElections()
        : ModuleElections(nullptr, {})
    {
    }
    QCoro::Task<ElectionReading> election(QString identifier, QString) const override
    {
        co_return ElectionReading { identifier == kExtensionIdentifier ? state : Election::notRegistered, {} };
    }
    QCoro::Task<std::optional<QString>> elect(QString identifier, bool on) const override
    {
        calls.append(identifier + (on ? " use" : " ignore"));
        if (!failure.isEmpty())
            co_return failure;
        state = on ? Election::on : Election::off;
        co_return std::nullopt;
    }
    mutable Election state = Election::off;
    mutable QStringList calls;
    QString failure;
};

struct Settings {
    std::shared_ptr<quorvel::testing::MemoryPreferences> preferences
        = std::make_shared<quorvel::testing::MemoryPreferences>();
    std::shared_ptr<quorvel::kit::KitEnvironment> env = [this] {
        auto e = std::make_shared<quorvel::kit::KitEnvironment>();
        e->preferences = preferences;
        return e;
    }();
    quorvel::kit::Tessary kit { env };
    FakeElections elections;
};

TEST(SettingsPane, DeclaresTheSettingsExtensionAroundItsWholeLife)
{
    FakeModuleScript script;
    JournalWorkspace workspace(script.journal);
    auto principal = std::make_unique<FakePrincipal>(script);
    FakePrincipal* fake = principal.get();
    Settings settings;
    SaverSettings model(settings.kit, settings.elections);
    auto pane = std::make_unique<SettingsPane>(std::move(principal), workspace, "/opt/quorvel-saver", model);
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
    EXPECT_EQ(pane->session()->runningCount(), 1);
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

TEST(SettingsPane, StartAfterWritesTheIdleTimeThroughTheKit)
{
    const struct {
        const char* name;
        std::optional<qint64> stored;
        QString shown;
        int shownAt;
    } rows[] = {
        { "absent is 5 minutes", std::nullopt, "5 minutes", 2 },
        { "an unlisted value is shown as itself, in order", 90, "90 seconds", 1 },
        { "an hour", 3600, "60 minutes", 6 },
        { "zero is Never", 0, "Never", 7 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Settings settings;
        if (row.stored)
            settings.kit.setIdleTime(*row.stored);
        SaverSettings model(settings.kit, settings.elections);
        JournalWorkspace workspace;
        SettingsPane pane(nullptr, workspace, "/opt/quorvel-saver", model);
        QComboBox* choice = pane.idleTimeChoice();
        EXPECT_EQ(choice->currentText(), row.shown);
        EXPECT_EQ(choice->currentIndex(), row.shownAt);
        EXPECT_EQ(choice->itemText(choice->count() - 1), "Never");
        EXPECT_EQ(choice->count(), row.stored == 90 ? 9 : 8);

        const int never = choice->count() - 1;
        const int oneMinute = 0;
        emit choice->activated(row.stored == 0 ? oneMinute : never);
        EXPECT_EQ(settings.kit.getIdleTime(), row.stored == 0 ? 60 : 0);
        EXPECT_EQ(choice->currentIndex(), row.stored == 0 ? oneMinute : never);
    }
}

TEST(SettingsPane, TheSwitchTurnsTheExtensionOnThroughTheRegistryAndShowsItsFailure)
{
    Settings settings;
    SaverSettings model(settings.kit, settings.elections);
    JournalWorkspace workspace;
    SettingsPane pane(nullptr, workspace, "/opt/quorvel-saver", model);
    QCheckBox* turnedOn = pane.turnedOnSwitch();
    ASSERT_TRUE(turnedOn->isEnabled());
    EXPECT_FALSE(turnedOn->isChecked()) << "the registry has it turned off";

    turnedOn->click();
    EXPECT_EQ(settings.elections.calls, QStringList({ "com.quorvel.Quorvel.Extension use" }));
    EXPECT_TRUE(turnedOn->isChecked());
    EXPECT_TRUE(turnedOn->isEnabled());

    const QString failure = "quorvel-pluginkit exited with status 1: pluginkit: error: the registry is locked by "
                            "another process";
    settings.elections.failure = failure;
    turnedOn->click();
    EXPECT_TRUE(turnedOn->isChecked()) << "the switch shows the registry, not the click";
    const QList<QLabel*> labels = pane.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == failure; }));

    settings.elections.state = Election::notRegistered;
    model.refreshElection();
    EXPECT_FALSE(turnedOn->isEnabled()) << "nothing to turn on";
}

} // namespace
