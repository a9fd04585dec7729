#include "kit/errors.h"
#include "kit/pluginkit_manager.h"
#include "kit_fixtures.h"
#include "support/coro.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using quorvel::kit::fixtures::ScriptedProcessRunner;
using quorvel::testing::await;

TEST(PluginkitParsing, ListingLinesTable)
{
    struct Row {
        const char* name;
        const char* output;
        QList<PluginkitExtension> expected;
    };
    const std::vector<Row> rows = {
        { "empty output", "", {} },
        { "identifier and version but no path", "     com.example.a(1.0)\tUUID-1\t2024-01-01 00:00:00 +0000\n", {} },
        { "no parentheses", "garbage line without fields\n", {} },
        { "tab separated, a path with spaces is kept whole",
            "-    com.apple.ScreenSaver.Computer-Name(1.0)\t2B6C\t2023-09-22 07:12:32 "
            "+0000\t/System/Library/ExtensionKit/Extensions/Computer Name.appex\r\n",
            { { "com.apple.ScreenSaver.Computer-Name", "1.0", "2B6C",
                "/System/Library/ExtensionKit/Extensions/Computer Name.appex" } } },
        { "spaces instead of tabs, several lines in order",
            "     a.b(1)  U1   /x/One.appex\n\n  \t \n=    c.d(2) U2 2024-01-01 /y/My Saver/Two.appex  \n",
            { { "a.b", "1", "U1", "/x/One.appex" }, { "c.d", "2", "U2", "/y/My Saver/Two.appex" } } },
    };
    for (const Row& row : rows)
        EXPECT_EQ(PluginkitManager::parseListing(QString::fromUtf8(row.output)), row.expected) << row.name;
}

TEST(PluginkitQueries, ToolOutcomesBecomeTypedErrorsOrOutputAndLookupsUseTheFileName)
{
    auto runner = std::make_shared<ScriptedProcessRunner>();
    PluginkitManager manager(runner, QStringLiteral("/opt/tool"));

    runner->results.push_back(ScriptedProcessRunner::finished(1, "pluginkit: error: bad thing\n"));
    EXPECT_EQ(quorvel::kit::fixtures::errorOf([&] { await(manager.runPluginkit({ QStringLiteral("-m") })); }),
        QStringLiteral("pluginkit command failed: pluginkit: error: bad thing\n"));

    // A non-zero status without "error" in the output still yields the output.
    runner->results.push_back(ScriptedProcessRunner::finished(2, "partial\n"));
    EXPECT_EQ(await(manager.runPluginkit({})), QStringLiteral("partial\n"));

    // A tool that hangs is stopped and reported as a failed command.
    auto hung = ScriptedProcessRunner::finished(-1, "");
    hung.timedOut = true;
    runner->results.push_back(hung);
    EXPECT_THROW(await(manager.runPluginkit({})), PluginkitError);

    quorvel::platform::ProcessResult notStarted;
    notStarted.errorText = QStringLiteral("No such file or directory");
    runner->results.push_back(notStarted);
    EXPECT_THROW(await(manager.runPluginkit({})), PlatformError);

    // Undecodable output counts as empty.
    runner->results.push_back(ScriptedProcessRunner::finished(0, QByteArray("\xff\xfe\xfa", 3)));
    EXPECT_EQ(await(manager.discoverScreensaverExtensions()), QList<PluginkitExtension> {});

    // Found by the bundle's file name, not by its identifier.
    const QByteArray listing = "+    com.example.Example(1)\tU\t2024-01-01 00:00:00 +0000\t/Apps/Example.appex\n";
    runner->results.push_back(ScriptedProcessRunner::finished(0, listing));
    runner->results.push_back(ScriptedProcessRunner::finished(0, listing));
    EXPECT_EQ(await(manager.findExtension(QStringLiteral("Example")))->path, QStringLiteral("/Apps/Example.appex"));
    EXPECT_FALSE(await(manager.findExtension(QStringLiteral("com.example.Example"))));

    ASSERT_EQ(runner->runs.size(), 7u);
    EXPECT_EQ(runner->runs.back().program, QStringLiteral("/opt/tool"));
    EXPECT_EQ(runner->runs.back().arguments, (QStringList { "-m", "-v", "-p", "com.apple.screensaver" }));
}

namespace {

QString makeBundle(const QString& path, const QString& identifier, const QString& version)
{
    QDir().mkpath(path + QStringLiteral("/Contents"));
    QFile info(path + QStringLiteral("/Contents/Info.plist"));
    info.open(QIODevice::WriteOnly);
    info.write(*serializeXmlPlist(QVariantMap { { QStringLiteral("CFBundleIdentifier"), identifier },
                                      { QStringLiteral("CFBundleVersion"), version },
                                      { QStringLiteral("NSExtension"),
                                          QVariantMap { { QStringLiteral("NSExtensionPointIdentifier"),
                                              QStringLiteral("com.apple.screensaver") } } } })
                    .bytes);
    return path;
}

} // namespace

// The registry tool of this platform and the kit's parser agree, paths with spaces included.
TEST(PluginkitTool, AddListRemoveThroughTheRealTool)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    const QString tool = QStringLiteral(QUORVEL_BIN_DIR "/quorvel-pluginkit");
    auto runner = std::make_shared<quorvel::platform::QProcessRunner>();
    PluginkitManager manager(runner, tool);

    const QString first
        = makeBundle(dir.filePath(QStringLiteral("My Apps/Quorvel.app/Contents/PlugIns/QuorvelExtension.appex")),
            QStringLiteral("com.quorvel.Quorvel.Extension"), QStringLiteral("3"));
    const QString other = makeBundle(
        dir.filePath(QStringLiteral("Other.appex")), QStringLiteral("com.other.Saver"), QStringLiteral("1.2"));
    EXPECT_EQ(await(manager.runPluginkit({ QStringLiteral("-a"), first })), QString());
    await(manager.runPluginkit({ QStringLiteral("-a"), other }));

    auto found = await(manager.discoverScreensaverExtensions());
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].bundleIdentifier, QStringLiteral("com.quorvel.Quorvel.Extension"));
    EXPECT_EQ(found[0].version, QStringLiteral("3"));
    EXPECT_EQ(found[0].path, first);
    EXPECT_EQ(found[0].uuid.size(), 36);
    EXPECT_EQ(await(manager.findExtension(QStringLiteral("Other")))->path, other);

    // Electing "ignore" marks the line with "-"; a second copy supersedes the first ("=").
    await(manager.runPluginkit(
        { QStringLiteral("-e"), QStringLiteral("ignore"), QStringLiteral("-i"), QStringLiteral("com.other.Saver") }));
    const QString copy = makeBundle(dir.filePath(QStringLiteral("Copy/QuorvelExtension.appex")),
        QStringLiteral("com.quorvel.Quorvel.Extension"), QStringLiteral("4"));
    await(manager.runPluginkit({ QStringLiteral("-a"), copy }));
    const QString all = await(manager.runPluginkit({ "-m", "-A", "-D", "-v", "-p", "com.apple.screensaver" }));
    const QStringList lines = all.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("=    com.quorvel.Quorvel.Extension(3)\t")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("-    com.other.Saver(1.2)\t")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("\t") + copy));
    EXPECT_EQ(await(manager.discoverScreensaverExtensions()).size(), 2); // only the copy in use, without -D

    await(manager.runPluginkit({ QStringLiteral("-r"), copy }));
    await(manager.runPluginkit({ QStringLiteral("-r"), first }));
    found = await(manager.discoverScreensaverExtensions());
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].path, other);

    // Registering something that is no bundle is a reported error.
    EXPECT_THROW(await(manager.runPluginkit({ QStringLiteral("-a"), dir.filePath(QStringLiteral("missing.appex")) })),
        PluginkitError);
}
