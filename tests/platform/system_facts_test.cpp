#include "platform/locations.h"
#include "platform/screens.h"
#include "platform/symbol_loader.h"
#include "platform/thread_priority.h"
#include "support/environment_guard.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <sys/resource.h>
#include <unistd.h>

#include <thread>

namespace {

using namespace quorvel::platform;

TEST(Locations, EnvironmentOverridesBaseUrlsAndNormalisesTheirSlashes)
{
    quorvel::testing::EnvironmentGuard service("QUORVEL_SERVICE_URL"), cdn("QUORVEL_CDN_URL");
    qputenv("QUORVEL_SERVICE_URL", "http://127.0.0.1:4040/");
    qputenv("QUORVEL_CDN_URL", "http://127.0.0.1:4040/cdn");
    EXPECT_EQ(serviceBaseUrl(), "http://127.0.0.1:4040");
    EXPECT_EQ(cdnBaseUrl(), "http://127.0.0.1:4040/cdn/");
    EXPECT_EQ(appcastUrl(), "http://127.0.0.1:4040/appcast.xml");
    qunsetenv("QUORVEL_SERVICE_URL");
    qunsetenv("QUORVEL_CDN_URL");
    EXPECT_FALSE(serviceBaseUrl().endsWith('/'));
    EXPECT_TRUE(cdnBaseUrl().endsWith('/'));
}

TEST(Locations, NamesTheDaemonsProgramOnlyBesideAPackagedBundleThatHasIt)
{
    QTemporaryDir prefix;
    const QString bundle = prefix.path() + "/lib/quorvel/Quorvel.app";
    const QString program = prefix.path() + "/libexec/xscreensaver/quorvel";
    ASSERT_TRUE(QDir().mkpath(bundle) && QDir().mkpath(prefix.path() + "/libexec/xscreensaver"));
    EXPECT_EQ(packagedDaemonProgram(bundle), std::nullopt);
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(packagedDaemonProgram(bundle), std::nullopt) << "not executable";
    file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(packagedDaemonProgram(bundle), program);
    EXPECT_EQ(packagedDaemonProgram(bundle + "/"), program);
    EXPECT_EQ(packagedDaemonProgram(prefix.path() + "/lib/quorvel/Other/Quorvel.app"), std::nullopt);
    EXPECT_EQ(packagedDaemonProgram(prefix.path() + "/Applications/Quorvel.app"), std::nullopt);
    EXPECT_EQ(packagedDaemonProgram(QString()), std::nullopt);
}

TEST(ThreadPriority, LowersOnlyTheCallingThreadAndOnlyOnce)
{
    const auto niceOf = [](pid_t thread) { return getpriority(PRIO_PROCESS, static_cast<id_t>(thread)); };
    const int process = niceOf(getpid());
    if (process > 9)
        GTEST_SKIP() << "the tests already run at nice " << process;
    int lowered = 0, again = 0;
    std::thread worker([&] {
        lowerCurrentThreadPriority();
        lowered = niceOf(gettid());
        lowerCurrentThreadPriority();
        again = niceOf(gettid());
    });
    worker.join();
    EXPECT_EQ(lowered, process + 10);
    EXPECT_EQ(again, lowered);
    EXPECT_EQ(niceOf(getpid()), process);
}

TEST(QtScreens, DescribesTheOffscreenScreenStably)
{
    const QtScreens screens;
    const auto first = screens.screens();
    ASSERT_FALSE(first.isEmpty());
    for (qsizetype i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first.at(i).isMain, i == 0);
        EXPECT_NE(first.at(i).displayNumber, 0u);
        EXPECT_EQ(first.at(i).uuid, first.at(i).uuid.toUpper());
        EXPECT_FALSE(QUuid::fromString(first.at(i).uuid).isNull());
    }
    EXPECT_EQ(screens.screens().first().uuid, first.first().uuid);
}

TEST(DynamicSymbolLoader, FindsSymbolsAndAnswersNullForWhatIsMissing)
{
    DynamicSymbolLoader loader;
    auto* length = reinterpret_cast<size_t (*)(const char*)>(loader.load("libc.so.6", "strlen"));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("four"), 4u);
    EXPECT_EQ(loader.load("libc.so.6", "SecTranslocateIsTranslocatedURL"), nullptr);
    EXPECT_EQ(loader.load("/System/Library/Frameworks/Security.framework/Security", "SecTranslocateIsTranslocatedURL"),
        nullptr);
    // An empty path would otherwise search the running program itself.
    EXPECT_EQ(loader.load(QString(), "main"), nullptr);
    EXPECT_EQ(loader.load("libc.so.6", ""), nullptr);
}

} // namespace
