#include "app/install/plugin_registration.h"
#include "app/install/registry_tool.h"

#include <gtest/gtest.h>

#include <set>

using namespace quorvel::app;

namespace {

const QString kId = QStringLiteral("com.quorvel.Quorvel.Extension");

std::optional<QString> text(const char* value)
{
    return value ? std::optional(QString::fromUtf8(value)) : std::nullopt;
}

struct LineCase {
    const char* name;
    QString line;
    bool listed;
    const char* path = nullptr;
    const char* version = nullptr;
    PluginElection election = PluginElection::active;
};

} // namespace

TEST(RegistryLine, ParsesOnlyEntriesOfThisExtension)
{
    const QString tail = QStringLiteral("\tA1B2C3D4-0000-4000-8000-000000000001\t2024-05-17 09:30:12 +0000\t");
    const LineCase cases[] = {
        { "in use", "+    " + kId + "(1.0.0)" + tail + "/A/Quorvel.app/Contents/PlugIns/QuorvelExtension.appex", true,
            "/A/Quorvel.app/Contents/PlugIns/QuorvelExtension.appex", "1.0.0" },
        { "turned off", "-    " + kId + "(1.0.0)" + tail + "/A/Q.appex", true, "/A/Q.appex", "1.0.0",
            PluginElection::ignored },
        { "superseded", "=    " + kId + "(1.0.0)" + tail + "/A/Q.appex", true, "/A/Q.appex", "1.0.0",
            PluginElection::superseded },
        { "blank mark", "     " + kId + "(2)" + tail + "/A/Q.appex", true, "/A/Q.appex", "2" },
        { "unknown mark", "!    " + kId + "(2)" + tail + "/A/Q.appex", true, "/A/Q.appex", "2" },
        { "no tabs", "+    " + kId + "(2.1)    /Apps/Q.appex  ", true, "/Apps/Q.appex", "2.1" },
        { "no tabs, no version", "+    " + kId + "    /Apps/Q.appex", true, "/Apps/Q.appex" },
        { "no tabs, no version, a path with spaces", "-  " + kId + "  /My Apps/Q.appex", true, "/My Apps/Q.appex",
            nullptr, PluginElection::ignored },
        { "no tabs, a foreign identifier", "+    " + kId + ".Other    /evil/Q.appex", false },
        { "path with spaces and a tab", "+    " + kId + "(3)" + tail + "/My Apps/Q\t2.appex", true,
            "/My Apps/Q\t2.appex", "3" },
        { "version from first ( to last )", "+    " + kId + "(1.0)(beta)" + tail + "/A/Q.appex", true, "/A/Q.appex",
            "1.0)(beta" },
        { "no version", "+    " + kId + tail + "/A/Q.appex", true, "/A/Q.appex" },
        { "no path", "+    " + kId + "(4)", true, nullptr, "4" },
        { "carriage return", "+    " + kId + "(4)" + tail + "/A/Q.appex\r", true, "/A/Q.appex", "4" },
        // Foreign registrations that merely contain the identifier never count as ours.
        { "prefixed identifier", "+    x." + kId + "(9)" + tail + "/evil/Q.appex", false },
        { "suffixed identifier", "+    " + kId + "Evil(9)" + tail + "/evil/Q.appex", false },
        { "dotted suffix", "+    " + kId + ".Other(9)" + tail + "/evil/Q.appex", false },
        { "identifier later in the line", "+    com.evil.Saver(9)" + tail + "/evil/" + kId + ".appex", false },
        { "two words before it", "+ x " + kId + "(9)" + tail + "/evil/Q.appex", false },
        { "long mark", "++   " + kId + "(9)" + tail + "/evil/Q.appex", false },
        { "control character", "+    " + kId + "(9)\x01" + tail + "/evil/Q.appex", false },
        { "empty", "", false },
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = parsePluginkitLine(c.line, kId);
        ASSERT_EQ(parsed.has_value(), c.listed);
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->path, text(c.path));
        EXPECT_EQ(parsed->version, text(c.version));
        EXPECT_EQ(parsed->election, c.election);
    }
}

TEST(RegistryLine, ListingKeepsOrderAndSkipsOtherLines)
{
    const QString output = "=    " + kId + "(1)\tU\tD\t/A/Q.appex\n+    com.other.Saver(2)\tU\tD\t/B/O.appex\n"
        + "garbage without structure\n" + "+    x." + kId + "(9)\tU\tD\t/evil/Q.appex\n" + "+    " + kId
        + "(1)\tU\tD\t/C/Q.appex\n\n";
    const QList<Registration> entries = registrationsIn(output, kId);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0], (Registration { "/A/Q.appex", "1", PluginElection::superseded }));
    EXPECT_EQ(entries[1], (Registration { "/C/Q.appex", "1", PluginElection::active }));
}

TEST(RegistryChoice, PrefersTheEmbeddedCopyThenAnActiveOneThenTheFirst)
{
    const Registration embeddedSuperseded { "/E/Q.appex", "1", PluginElection::superseded };
    const Registration elsewhereActive { "/X/Q.appex", "1", PluginElection::active };
    const Registration elsewhereOff { "/Y/Q.appex", "1", PluginElection::ignored };
    const QString embedded = QStringLiteral("/E/Q.appex");
    EXPECT_EQ(chooseRegistration({ elsewhereActive, embeddedSuperseded }, embedded), embeddedSuperseded);
    EXPECT_EQ(chooseRegistration({ elsewhereOff, elsewhereActive }, embedded), elsewhereActive);
    EXPECT_EQ(chooseRegistration({ elsewhereOff, elsewhereActive }, std::nullopt), elsewhereActive);
    EXPECT_EQ(chooseRegistration({ elsewhereOff }, embedded), elsewhereOff);
    EXPECT_EQ(chooseRegistration({}, embedded), std::nullopt);
    // Equality looks at all three fields.
    EXPECT_NE(embeddedSuperseded, (Registration { "/E/Q.appex", "1", PluginElection::active }));
}

TEST(RegistryChoice, ReregistersOnlyWhenTheRegistryPointsElsewhere)
{
    const QString path = QStringLiteral("/E/Q.appex");
    const struct {
        const char* name;
        std::optional<Registration> registered;
        std::optional<QString> embeddedPath;
        std::optional<QString> embeddedVersion;
        bool expected;
    } cases[] = {
        { "not registered at all", std::nullopt, path, "1.3", false },
        { "no embedded path", Registration { "/X/Q.appex", "1.3" }, std::nullopt, "1.3", false },
        { "registration without a path", Registration { std::nullopt, "1.3" }, path, "1.3", true },
        { "another copy", Registration { "/X/Q.appex", "1.3" }, path, "1.3", true },
        { "same copy, same version", Registration { path, "1.3" }, path, "1.3", false },
        { "downgrade counts", Registration { path, "1.4" }, path, "1.3", true },
        { "upgrade", Registration { path, "1.2" }, path, "1.3", true },
        { "registered without a version", Registration { path, std::nullopt }, path, "1.3", true },
        { "neither has a version", Registration { path, std::nullopt }, path, std::nullopt, false },
        { "embedded without a version", Registration { path, "1.3" }, path, std::nullopt, false },
        { "embedded copy superseded by another", Registration { path, "1.3", PluginElection::superseded }, path, "1.3",
            true },
        { "embedded copy turned off stays off", Registration { path, "1.3", PluginElection::ignored }, path, "1.3",
            false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(needsReregistration(c.registered, c.embeddedPath, c.embeddedVersion), c.expected);
    }
}

TEST(PluginErrorText, NamesTheCommandsLastPathComponentAndTrimmedOutput)
{
    EXPECT_EQ(PluginError::commandFailed("/opt/bin/quorvel-pluginkit -a /A/Quorvel.app/PlugIns/QuorvelExtension.appex",
                  1, "\n  pluginkit: error: nope \n")
                  .message(),
        QStringLiteral("QuorvelExtension.appex exited with status 1: pluginkit: error: nope"));
    EXPECT_EQ(PluginError::commandFailed("/bin/tool -m", -2, " \n\t").message(),
        QStringLiteral("tool -m exited with status -2"));
    EXPECT_EQ(PluginError::embeddedExtensionNotFound().message(),
        QStringLiteral("Embedded extension not found in app bundle"));
}

TEST(RegistryToolLocation, NextToTheAppThenItsBundleThenTheSearchPath)
{
    quorvel::platform::BundleInfo app;
    app.bundlePath = QStringLiteral("/opt/build/bin/Quorvel.app");
    app.executablePath = QStringLiteral("/opt/build/bin/Quorvel.app/Contents/MacOS/Quorvel");
    const struct {
        const char* name;
        QString overridePath;
        bool hasBundle;
        QString searchPath;
        std::set<QString> executables;
        std::optional<QString> expected;
    } cases[] = {
        { "override wins", "/x/my-tool", true, "/usr/bin", { "/usr/bin/quorvel-pluginkit" }, "/x/my-tool" },
        { "next to the executable", {}, true, "/usr/bin",
            { "/opt/build/bin/Quorvel.app/Contents/MacOS/quorvel-pluginkit", "/opt/build/bin/quorvel-pluginkit" },
            "/opt/build/bin/Quorvel.app/Contents/MacOS/quorvel-pluginkit" },
        { "next to the bundle", {}, true, "/usr/bin",
            { "/opt/build/bin/quorvel-pluginkit", "/usr/bin/quorvel-pluginkit" }, "/opt/build/bin/quorvel-pluginkit" },
        { "installed on the path", {}, true, "relative:/usr/local/bin::/usr/bin", { "/usr/bin/quorvel-pluginkit" },
            "/usr/bin/quorvel-pluginkit" },
        { "relative path entries are skipped", {}, false, "bin:.", { "bin/quorvel-pluginkit" }, std::nullopt },
        { "not a bundle", {}, false, "/usr/bin", { "/usr/bin/quorvel-pluginkit" }, "/usr/bin/quorvel-pluginkit" },
        { "nowhere", {}, true, "/usr/bin", {}, std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryToolSearch search;
        search.overridePath = c.overridePath;
        if (c.hasBundle)
            search.mainBundle = app;
        search.searchPath = c.searchPath;
        search.isExecutable = [&](const QString& path) { return c.executables.count(path) > 0; };
        EXPECT_EQ(locateRegistryTool(search), c.expected);
    }
}

TEST(RegistryToolLocation, TheAppsOtherToolsAreFoundTheSameWayButNeverThroughTheOverride)
{
    quorvel::platform::BundleInfo app;
    app.bundlePath = QStringLiteral("/home/u/Applications/Quorvel.app");
    app.executablePath = QStringLiteral("/home/u/Applications/Quorvel.app/Contents/MacOS/Quorvel");
    RegistryToolSearch search;
    search.overridePath = QStringLiteral("/x/my-pluginkit");
    search.mainBundle = app;
    search.searchPath = QStringLiteral("/usr/bin");
    const std::set<QString> executables { "/home/u/Applications/quorvel-saver", "/usr/bin/quorvel-saver" };
    search.isExecutable = [&](const QString& path) { return executables.count(path) > 0; };
    EXPECT_EQ(
        locateBesideApp(QStringLiteral("quorvel-saver"), search), QStringLiteral("/home/u/Applications/quorvel-saver"));
    EXPECT_EQ(locateBesideApp(QStringLiteral("quorvel-missing"), search), std::nullopt);
    EXPECT_EQ(locateRegistryTool(search), QStringLiteral("/x/my-pluginkit"));
}
