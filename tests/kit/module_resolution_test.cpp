#include "kit/module_resolution.h"
#include "kit_environment_fixture.h"

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace quorvel::kit::fixtures;

namespace {

struct Resolution : ::testing::Test, KitFixture {
    ScreensaverManager manager{env};
    ModuleResolver resolver{env};

    QString resolved(const QString& screen)
    {
        const ModuleResolution r = await(resolver.resolve(screen));
        if (const auto* error = std::get_if<ModuleResolutionError>(&r))
            return QStringLiteral("error: ") + error->message();
        return std::get<QString>(r);
    }
};

} // namespace

TEST_F(Resolution, MinimalStoreIsWrittenOnlyWhenNoneExists)
{
    arrange({1, 1});
    ASSERT_TRUE(resolver.ensureStore());
    const QVariantMap written = store();
    const QVariantMap individual{{QStringLiteral("Type"), QStringLiteral("individual")}};
    EXPECT_EQ(written.value(QStringLiteral("AllSpacesAndDisplays")).toMap(), individual);
    EXPECT_EQ(written.value(QStringLiteral("SystemDefault")).toMap(), individual);
    EXPECT_EQ(written.value(QStringLiteral("Spaces")).toMap().keys(), (QStringList{spaceUUID(1), spaceUUID(2)}));
    EXPECT_EQ(resolved(kMain), QStringLiteral("error: no screensaver module is selected in the wallpaper store"));

    writeStore(storeFor({1, 1}));
    const QByteArray existing = storeBytes();
    ASSERT_TRUE(resolver.ensureStore());
    EXPECT_EQ(storeBytes(), existing);
}

TEST_F(Resolution, EachScreenTakesItsDisplaySlotThenTheWiderSlots)
{
    arrange({1, 1});
    resolver.ensureStore();
    await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"), true, false));
    await(manager.setScreensaverForSpace(QStringLiteral("QuorvelExtension"), spaceUUID(2), ScreenIdentifier{2}, true, false));
    EXPECT_EQ(resolved(kMain), modulesDir() + QStringLiteral("/Flurry.saver"));
    EXPECT_EQ(resolved(kSecond), modulesDir() + QStringLiteral("/QuorvelExtension.appex"));
    const ModuleResolution main = await(resolver.resolveMain());
    EXPECT_EQ(std::get<QString>(main), modulesDir() + QStringLiteral("/Flurry.saver"));
}

TEST_F(Resolution, ModulesOutsideTheFoldersAreFoundThroughTheRegistry)
{
    arrange({1});
    resolver.ensureStore();
    QDir(modulesDir() + QStringLiteral("/QuorvelExtension.appex")).removeRecursively();
    runner->results.push_back(ScriptedProcessRunner::finished(
        0, "+    com.quorvel.Quorvel.Extension(1)\tU\t2024-01-01 00:00:00 +0000\t/Apps/My Quorvel.app/Contents/PlugIns/QuorvelExtension.appex\n"));
    QDir().mkpath(modulesDir() + QStringLiteral("/QuorvelExtension.appex"));
    await(manager.setScreensaverEverywhere(QStringLiteral("QuorvelExtension"), true, false));
    QDir(modulesDir() + QStringLiteral("/QuorvelExtension.appex")).removeRecursively();
    EXPECT_EQ(resolved(kMain), QStringLiteral("/Apps/My Quorvel.app/Contents/PlugIns/QuorvelExtension.appex"));
    EXPECT_EQ(runner->runs.back().arguments, (QStringList{"-m", "-v", "-p", "com.apple.screensaver"}));
    // Unregistered and not in the folders: said so by name.
    EXPECT_EQ(resolved(kMain), QStringLiteral("error: the selected screensaver \"QuorvelExtension\" is not installed"));
}

TEST_F(Resolution, UnusableStoresAndChoicesAreTypedReasons)
{
    arrange({1});
    writeStore(storeFor({1}));
    QFile f(storePath());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write("bplist00 truncated");
    f.close();
    EXPECT_EQ(resolved(kMain), QStringLiteral("error: the wallpaper store ") + storePath() + QStringLiteral(" cannot be read"));

    // A choice whose configuration is not a module (a video screensaver).
    QVariantMap s = storeFor({1});
    QVariantMap idle = screensaverChoice(QStringLiteral("x"));
    QVariantMap content = idle.value(QStringLiteral("Content")).toMap();
    QVariantMap choice = content.value(QStringLiteral("Choices")).toList()[0].toMap();
    choice.insert(QStringLiteral("Configuration"), manager.createScreensaverConfiguration(QStringLiteral("/v"), ScreensaverType::sequoiaVideo));
    content.insert(QStringLiteral("Choices"), QVariantList{choice});
    idle.insert(QStringLiteral("Content"), content);
    s.insert(QStringLiteral("SystemDefault"), QVariantMap{{QStringLiteral("Idle"), idle}});
    writeStore(s);
    EXPECT_EQ(resolved(kMain), QStringLiteral("error: the selected screensaver choice names no module"));
}
