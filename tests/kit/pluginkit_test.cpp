#include "kit/errors.h"
#include "kit/kit_environment.h"
#include "kit/pluginkit_manager.h"
#include "kit_fixtures.h"
#include "support/coro.h"
#include "support/plist_samples.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
        { "a version with parentheses, as the tool prints it",
            "-    com.example.Example(2.0 (beta))\tF2A0\t2024-01-01 00:00:00 +0000\t/L/Screen Savers/Example.appex\n"
            "+    com.example.b(1))\tB1\t2024-01-01 00:00:00 +0000\t/L/B.appex\n",
            { { "com.example.Example", "2.0 (beta)", "F2A0", "/L/Screen Savers/Example.appex" },
                { "com.example.b", "1)", "B1", "/L/B.appex" } } },
        // Lines that do not have the listing's shape are no records, whatever they name.
        { "a control character inside the line",
            "+    com.example.a(1.0)\tU\t2024-01-01 00:00:00 +0000\t/x/A\x01.appex\n", {} },
        { "a line separator inside the line", "+    com.example.a(1.0)\tU\t2024 \u2028\t/x/A.appex\n", {} },
        { "an identifier of two words", "+    evil words com.example.a(1.0)\tU\t2024-01-01\t/x/A.appex\n", {} },
        { "no identifier", "+    (1.0)\tU\t2024-01-01\t/x/A.appex\n", {} },
        { "a closing parenthesis inside the identifier", "+    a)b(1.0)\tU\t2024-01-01\t/x/A.appex\n", {} },
        { "no separator after the version", "+    com.example.a(1.0)U\t2024-01-01\t/x/A.appex\n", {} },
        { "the path where the UUID belongs", "+    com.example.a(1.0)\t/x/A.appex\n", {} },
        { "a field too many before the path", "+    com.example.a(1.0)\tU\t2024-01-01\t/x/Decoy\t/x/A.appex\n", {} },
        { "a well-formed line among malformed ones",
            "+    a b(1)\tU\t/x/Bad.appex\n+    c.d(2)\tU2\t2024-01-01\t/y/Good.appex\n",
            { { "c.d", "2", "U2", "/y/Good.appex" } } },
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

QString makeBundleWithInfo(const QString& path, const QByteArray& info)
{
    QDir().mkpath(path + QStringLiteral("/Contents"));
    QFile file(path + QStringLiteral("/Contents/Info.plist"));
    file.open(QIODevice::WriteOnly);
    file.write(info);
    return path;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

// Bundles the tool must refuse, each with a reported error, leaving the registry as it was: an
// Info.plist nested too deep to parse safely, and facts that would print a forged listing line.
TEST(PluginkitTool, RefusesBundlesItCannotReadSafelyOrListFaithfully)
{
    namespace samples = quorvel::testing::plist;
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    const QString registryFile = dir.filePath(QStringLiteral("data/quorvel/pluginkit/registrations.json"));
    auto runner = std::make_shared<quorvel::platform::QProcessRunner>();
    PluginkitManager manager(runner, QStringLiteral(QUORVEL_BIN_DIR "/quorvel-pluginkit"));
    const QString good = makeBundle(
        dir.filePath(QStringLiteral("Good.appex")), QStringLiteral("com.example.Good"), QStringLiteral("1"));
    await(manager.runPluginkit({ QStringLiteral("-a"), good }));
    const QByteArray before = fileBytes(registryFile);
    ASSERT_FALSE(before.isEmpty());

    const QString forged = QStringLiteral("com.evil\t\n+    com.quorvel.Quorvel.Extension(9)\tU\t2024-01-01 "
                                          "00:00:00 +0000\t/tmp/Evil.appex");
    const struct {
        const char* name;
        QString bundle;
        const char* reason; // in the tool's message
    } rows[] = {
        { "binary Info.plist 100,000 deep",
            makeBundleWithInfo(dir.filePath(QStringLiteral("DeepBinary.appex")), samples::deepBinaryArrays(100000)),
            "not a plug-in bundle" },
        { "xml Info.plist 260,000 deep",
            makeBundleWithInfo(dir.filePath(QStringLiteral("DeepXml.appex")), samples::deepXmlArrays(260000)),
            "not a plug-in bundle" },
        { "identifier forging a second line",
            makeBundle(dir.filePath(QStringLiteral("Forged.appex")), forged, QStringLiteral("1")),
            "bundle identifier holds a control character (U+0009)" },
        { "identifier with a parenthesis",
            makeBundle(dir.filePath(QStringLiteral("Paren.appex")), QStringLiteral("a(1)"), QStringLiteral("1")),
            "white space or a parenthesis" },
        { "version with a line break",
            makeBundle(dir.filePath(QStringLiteral("Version.appex")), QStringLiteral("com.example.V"),
                QStringLiteral("1\n+    x(2)\tU\tD\t/tmp/Evil.appex")),
            "version holds a control character (U+000A)" },
        { "path with a line break",
            makeBundle(dir.filePath(QStringLiteral("Line\nBreak.appex")), QStringLiteral("com.example.P"),
                QStringLiteral("1")),
            "path holds a control character (U+000A)" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString message = fixtures::errorOf([&] {
            await(manager.runPluginkit({ QStringLiteral("-a"), row.bundle }));
        });
        EXPECT_TRUE(message.startsWith(QStringLiteral("pluginkit command failed: pluginkit: error: ")))
            << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromUtf8(row.reason))) << message.toStdString();
        EXPECT_FALSE(message.trimmed().contains(QLatin1Char('\n'))) << "the message is one line";
        EXPECT_EQ(fileBytes(registryFile), before);
    }
    const auto listed = await(manager.discoverScreensaverExtensions());
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].path, good);

    // A forged registration that an older tool wrote into the file is never listed.
    QJsonObject registry = QJsonDocument::fromJson(before).object();
    QJsonArray entries = registry.value(QStringLiteral("registrations")).toArray();
    QJsonObject stale = entries.first().toObject();
    stale.insert(QStringLiteral("identifier"), forged);
    entries.append(stale);
    registry.insert(QStringLiteral("registrations"), entries);
    QFile file(registryFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(registry).toJson());
    file.close();
    const QString output = await(manager.runPluginkit(PluginkitManager::queryArguments));
    EXPECT_EQ(output.count(QLatin1Char('\n')), 1) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("Evil")));
}

// The kit's own wiring finds the registry tool the way the app does: here beside the running
// test program (the build's bin folder), with no override and nothing on the search path. A tool
// found nowhere fails each query as a tool that cannot start, and nothing is started.
TEST(PluginkitTool, TheSystemKitFindsTheToolBesideTheProgramOrReportsItMissing)
{
    QTemporaryDir dir;
    const QByteArray path = qgetenv("PATH"), override = qgetenv("QUORVEL_PLUGINKIT");
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    qputenv("PATH", "");
    qunsetenv("QUORVEL_PLUGINKIT");
    auto env = KitEnvironment::system(nullptr, nullptr, dir.path());
    const QString bundle = makeBundle(
        dir.filePath(QStringLiteral("Found.appex")), QStringLiteral("com.example.Found"), QStringLiteral("2"));
    await(env->pluginkit->runPluginkit({ QStringLiteral("-a"), bundle }));
    const auto listed = await(env->pluginkit->discoverScreensaverExtensions());
    qputenv("PATH", path);
    if (!override.isNull())
        qputenv("QUORVEL_PLUGINKIT", override);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].path, bundle);

    auto runner = std::make_shared<ScriptedProcessRunner>();
    PluginkitManager nowhere(runner, QString());
    EXPECT_EQ(fixtures::errorOf([&] { await(nowhere.discoverScreensaverExtensions()); }),
        QStringLiteral(
            "The registry tool quorvel-pluginkit was found neither next to the app nor on the search path."));
    EXPECT_TRUE(runner->runs.empty());
}
