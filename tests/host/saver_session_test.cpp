// One view per target, started once shown; teardown in the contract's order; a failing view
// never takes the others down; without a bundle each screen plays the module its choice selects.
#include "host/fake_module.h"
#include "host/saver_session.h"
#include "host/screen_modules.h"

#include <gtest/gtest.h>

#include <QPluginLoader>

using namespace quorvel::saver;
using quorvel::testing::FakeModuleScript;
using quorvel::testing::FakePrincipal;

namespace {

class RecordingStage final : public Stage {
public:
    explicit RecordingStage(QStringList& journal)
        : journal_(journal)
    {
    }
    bool present(QWidget* view, const SaverTarget& target) override
    {
        journal_ << "present " + view->objectName();
        return target.screenName != refuse;
    }
    void withdraw(QWidget* view) override { journal_ << "withdraw " + view->objectName(); }
    QString refuse;

private:
    QStringList& journal_;
};

QList<SaverTarget> screens(int count)
{
    QList<SaverTarget> targets;
    for (int i = 0; i < count; ++i)
        targets << SaverTarget { QRect(i * 100, 0, 100, 50 + i), false, QStringLiteral("S%1").arg(i) };
    return targets;
}

TEST(SaverSession, StartsEachShownViewAndTearsDownInContractOrderOnce)
{
    FakeModuleScript script;
    RecordingStage stage(script.journal);
    {
        SaverSession session(std::make_unique<FakePrincipal>(script), stage);
        EXPECT_EQ(session.start(screens(2)), 2);
        EXPECT_EQ(script.journal,
            QStringList({ "make #0", "load 100x50 #0", "present view0", "start #0", "make #1", "load 100x51 #1",
                "present view1", "start #1" }));
        script.journal.clear();
        session.stop();
        // Every view stops before any is destroyed; the principal goes last.
        EXPECT_EQ(script.journal,
            QStringList({ "stop #0", "stop #1", "withdraw view0", "destroy #0", "withdraw view1", "destroy #1",
                "destroy principal" }));
        session.stop();
        EXPECT_EQ(session.start(screens(2)), 0) << "a stopped session starts nothing";
    }
    EXPECT_EQ(script.journal.count("destroy principal"), 1) << "stop is idempotent, the destructor adds nothing";
    script.journal.clear();
    {
        SaverSession session(std::make_unique<FakePrincipal>(script), stage);
        session.start(screens(1));
    }
    EXPECT_EQ(script.journal.mid(4), QStringList({ "stop #0", "withdraw view0", "destroy #0", "destroy principal" }));
}

TEST(SaverSession, FailingOrLeakedViewsNeverHarmTheRest)
{
    FakeModuleScript script;
    script.nullViewAt = { 0 };
    script.throwingViewAt = { 1 };
    script.throwingStartAt = { 3 };
    script.leaksViews = true;
    RecordingStage stage(script.journal);
    stage.refuse = "S2";
    SaverSession session(std::make_unique<FakePrincipal>(script), stage);
    EXPECT_EQ(session.start(screens(5)), 2) << script.journal.join(", ").toStdString();
    // The controllers of views that never showed are gone at once; a view whose start threw stays
    // on the display and is torn down with the others.
    for (const char* line : { "destroy #0", "destroy #1", "destroy #2" })
        EXPECT_TRUE(script.journal.contains(line)) << line;
    const QList<QPointer<QWidget>> views { session.views().at(0), session.views().at(1) };
    EXPECT_EQ(views.at(0)->objectName(), "view3");
    script.journal.clear();
    session.stop();
    EXPECT_EQ(script.journal,
        QStringList({ "stop #3", "stop #4", "withdraw view3", "destroy #3", "withdraw view4", "destroy #4",
            "destroy principal" }));
    for (const QPointer<QWidget>& view : views)
        EXPECT_TRUE(view.isNull()) << "a view the module forgot would keep drawing";
}

TEST(SaverSession, UnpluggedScreenLosesItsViewOnlyAndANewScreenGetsOne)
{
    FakeModuleScript script;
    RecordingStage stage(script.journal);
    SaverSession session(std::make_unique<FakePrincipal>(script), stage);
    session.start(screens(2));
    script.journal.clear();
    EXPECT_EQ(session.stopScreen("S1"), 1);
    EXPECT_EQ(script.journal, QStringList({ "stop #1", "withdraw view1", "destroy #1" }));
    EXPECT_EQ(session.stopScreen(""), 0) << "views that are no screen's are never taken for one";
    EXPECT_EQ(session.start({ { QRect(100, 0, 2560, 1440), false, "DP-2" } }), 2);
    EXPECT_EQ(session.views().at(0)->objectName(), "view0");
}

// A module that counts its principals; each principal journals into the module's own script.
class FakeSaverModule final : public SaverModule {
public:
    int interfaceVersion() const override { return kInterfaceVersion; }
    std::unique_ptr<SaverPrincipal> makePrincipal() override
    {
        ++principals;
        return std::make_unique<FakePrincipal>(script);
    }
    FakeModuleScript script;
    int principals = 0;
};

class ChoicesByFrame final : public ModuleLocator {
public:
    Located selectedModuleBundle() const override { return LocateError { "main screen only" }; }
    Located moduleForScreen(const QRect& frame) const override
    {
        if (!choices.contains(frame.x()))
            return LocateError { "no screensaver module is selected" };
        return choices.value(frame.x());
    }
    QMap<int, QString> choices;
};

TEST(ScreenModules, EachScreenPlaysItsOwnChoiceWithOneLoadAndPrincipalPerModule)
{
    FakeSaverModule aurora, tides;
    QMap<QString, int> loads;
    const auto load = [&](const QString& path) -> LoadResult {
        ++loads[path];
        SaverModule* module = path == "/m/Aurora.appex" ? &aurora : path == "/m/Tides.appex" ? &tides : nullptr;
        if (!module)
            return LoadError { LoadError::Kind::NoSuchBundle, path };
        return std::make_unique<LoadedModule>(std::make_unique<QPluginLoader>(), module, path);
    };
    ChoicesByFrame locator;
    QStringList shown, reports;
    RecordingStage stage(shown);
    ScreenModules none(
        locator, stage, [](const QString&) {}, load);
    EXPECT_EQ(none.start(screens(2)), 0);
    EXPECT_EQ(none.firstFailure(), "no screensaver module is selected") << "with no usable choice, say why";
    none.stop();

    locator.choices = { { 0, "/m/Aurora.appex" }, { 100, "/m/Tides.appex" }, { 200, "/m/Aurora.appex" },
        { 300, "/m/Gone.appex" }, { 400, "/m/Gone.appex" } };
    ScreenModules modules(
        locator, stage, [&](const QString& message) { reports << message; }, load);
    EXPECT_EQ(modules.start(screens(6)), 3);
    EXPECT_EQ(aurora.principals, 1);
    EXPECT_EQ(tides.principals, 1);
    EXPECT_EQ(
        loads, (QMap<QString, int> { { "/m/Aurora.appex", 1 }, { "/m/Tides.appex", 1 }, { "/m/Gone.appex", 1 } }));
    EXPECT_EQ(aurora.script.journal.filter("start"), QStringList({ "start #0", "start #1" }));
    EXPECT_EQ(tides.script.journal.filter("start"), QStringList({ "start #0" }));
    // The screens without a module are reported and covered black, not left showing the desktop.
    EXPECT_EQ(reports,
        QStringList({ "screen S3: no such bundle: /m/Gone.appex", "screen S4: no such bundle: /m/Gone.appex",
            "screen S5: no screensaver module is selected" }));
    EXPECT_EQ(shown.count("present cover"), 3 + 2);

    modules.stopScreen("S1");
    EXPECT_EQ(tides.script.journal.filter("stop"), QStringList({ "stop #0" }));
    modules.stop();
    EXPECT_EQ(modules.runningCount(), 0);
    EXPECT_EQ(shown.count("withdraw cover"), 3 + 2);
    EXPECT_TRUE(aurora.script.journal.endsWith("destroy principal"));
    EXPECT_TRUE(tides.script.journal.endsWith("destroy principal"));
}

} // namespace
