// Where programs that run from no bundle (the saver, tools, tests) find the registry tool; the
// app's own search from its bundle is covered with the app's registration.
#include "platform/registry_tool.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using quorvel::platform::BundleInfo;
using quorvel::platform::locateRegistryTool;
using quorvel::platform::RegistryToolSearch;

TEST(RegistryTool, OutsideABundleTheRunningExecutablesFolderComesBeforeThePath)
{
    BundleInfo app;
    app.bundlePath = QStringLiteral("/opt/app/Quorvel.app");
    app.executablePath = QStringLiteral("/opt/app/Quorvel.app/Contents/MacOS/Quorvel");
    const struct {
        const char* name;
        bool inBundle;
        QString executable;
        std::set<QString> executables;
        std::optional<QString> expected;
    } cases[] = {
        { "beside the executable", false, "/opt/build/bin/quorvel-saver",
            { "/opt/build/bin/quorvel-pluginkit", "/usr/bin/quorvel-pluginkit" }, "/opt/build/bin/quorvel-pluginkit" },
        { "then on the path", false, "/opt/build/bin/quorvel-saver", { "/usr/bin/quorvel-pluginkit" },
            "/usr/bin/quorvel-pluginkit" },
        { "a relative executable path is not searched", false, "bin/quorvel-saver", { "bin/quorvel-pluginkit" },
            std::nullopt },
        { "unknown executable", false, "", { "/usr/bin/quorvel-pluginkit" }, "/usr/bin/quorvel-pluginkit" },
        // In a bundle the bundle decides; the process's own path is the bundle's executable anyway.
        { "a bundle's folders win", true, "/elsewhere/bin/Quorvel",
            { "/elsewhere/bin/quorvel-pluginkit", "/opt/app/quorvel-pluginkit" }, "/opt/app/quorvel-pluginkit" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryToolSearch search;
        if (c.inBundle)
            search.mainBundle = app;
        search.executablePath = c.executable;
        search.searchPath = QStringLiteral("/usr/local/bin:/usr/bin");
        search.isExecutable = [&](const QString& path) { return c.executables.count(path) > 0; };
        EXPECT_EQ(locateRegistryTool(search), c.expected);
    }
}

} // namespace
