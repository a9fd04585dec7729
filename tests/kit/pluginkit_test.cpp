#include "kit/errors.h"
#include "kit/kit_environment.h"
#include "kit/pluginkit_manager.h"
#include "kit_fixtures.h"
#include "platform/file_lock.h"
#include "support/coro.h"
#include "support/files.h"
#include "support/plist_samples.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;
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
    PluginkitManager manager(runner, u"/opt/tool"_s);

    runner->results.push_back(ScriptedProcessRunner::finished(1, "pluginkit: error: bad thing\n"));
    EXPECT_EQ(quorvel::kit::fixtures::errorOf([&] { await(manager.runPluginkit({ u"-m"_s })); }),
        u"pluginkit command failed: pluginkit: error: bad thing\n"_s);

    // A non-zero status without "error" in the output still yields the output.
    runner->results.push_back(ScriptedProcessRunner::finished(2, "partial\n"));
    EXPECT_EQ(await(manager.runPluginkit({})), u"partial\n"_s);

    // A tool that hangs is stopped and reported as a failed command.
    auto hung = ScriptedProcessRunner::finished(-1, "");
    hung.timedOut = true;
    runner->results.push_back(hung);
    EXPECT_THROW(await(manager.runPluginkit({})), PluginkitError);

    quorvel::platform::ProcessResult notStarted;
    notStarted.errorText = u"No such file or directory"_s;
    runner->results.push_back(notStarted);
    EXPECT_THROW(await(manager.runPluginkit({})), PlatformError);

    // Undecodable output counts as empty.
    runner->results.push_back(ScriptedProcessRunner::finished(0, QByteArray("\xff\xfe\xfa", 3)));
    EXPECT_EQ(await(manager.discoverScreensaverExtensions()), QList<PluginkitExtension> {});

    // Found by the bundle's file name, not by its identifier.
    const QByteArray listing = "+    com.example.Example(1)\tU\t2024-01-01 00:00:00 +0000\t/Apps/Example.appex\n";
    runner->results.push_back(ScriptedProcessRunner::finished(0, listing));
    runner->results.push_back(ScriptedProcessRunner::finished(0, listing));
    EXPECT_EQ(await(manager.findExtension(u"Example"_s))->path, u"/Apps/Example.appex"_s);
    EXPECT_FALSE(await(manager.findExtension(u"com.example.Example"_s)));

    ASSERT_EQ(runner->runs.size(), 7u);
    EXPECT_EQ(runner->runs.back().program, u"/opt/tool"_s);
    EXPECT_EQ(runner->runs.back().arguments, (QStringList { "-m", "-v", "-p", "com.apple.screensaver" }));
}

namespace {

using quorvel::testing::readFile;

QString makeBundleWithInfo(const QString& path, const QByteArray& info)
{
    quorvel::testing::writeFile(path + u"/Contents/Info.plist"_s, info);
    return path;
}

QString makeBundle(const QString& path, const QString& identifier, const QString& version)
{
    return makeBundleWithInfo(path,
        *serializeXmlPlist(
            QVariantMap { { u"CFBundleIdentifier"_s, identifier }, { u"CFBundleVersion"_s, version },
                { u"NSExtension"_s, QVariantMap { { u"NSExtensionPointIdentifier"_s, u"com.apple.screensaver"_s } } } })
             .bytes);
}

} // namespace

// The registry tool of this platform and the kit's parser agree, paths with spaces included.
TEST(PluginkitTool, AddListRemoveThroughTheRealTool)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    const QString tool = QStringLiteral(QUORVEL_BIN_DIR "/quorvel-pluginkit");
    auto runner = std::make_shared<quorvel::platform::QProcessRunner>();
    PluginkitManager manager(runner, tool);

    const QString first = makeBundle(dir.filePath(u"My Apps/Quorvel.app/Contents/PlugIns/QuorvelExtension.appex"_s),
        u"com.quorvel.Quorvel.Extension"_s, u"3"_s);
    const QString other = makeBundle(dir.filePath(u"Other.appex"_s), u"com.other.Saver"_s, u"1.2"_s);
    EXPECT_EQ(await(manager.runPluginkit({ u"-a"_s, first })), QString());
    await(manager.runPluginkit({ u"-a"_s, other }));

    auto found = await(manager.discoverScreensaverExtensions());
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].bundleIdentifier, u"com.quorvel.Quorvel.Extension"_s);
    EXPECT_EQ(found[0].version, u"3"_s);
    EXPECT_EQ(found[0].path, first);
    EXPECT_EQ(found[0].uuid.size(), 36);
    EXPECT_EQ(await(manager.findExtension(u"Other"_s))->path, other);

    // Electing "ignore" marks the line with "-"; a second copy supersedes the first ("=").
    await(manager.runPluginkit({ u"-e"_s, u"ignore"_s, u"-i"_s, u"com.other.Saver"_s }));
    const QString copy
        = makeBundle(dir.filePath(u"Copy/QuorvelExtension.appex"_s), u"com.quorvel.Quorvel.Extension"_s, u"4"_s);
    await(manager.runPluginkit({ u"-a"_s, copy }));
    const QString all = await(manager.runPluginkit({ "-m", "-A", "-D", "-v", "-p", "com.apple.screensaver" }));
    const QStringList lines = all.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(u"=    com.quorvel.Quorvel.Extension(3)\t"_s));
    EXPECT_TRUE(lines[1].startsWith(u"-    com.other.Saver(1.2)\t"_s));
    EXPECT_TRUE(lines[2].endsWith(u"\t"_s + copy));
    EXPECT_EQ(await(manager.discoverScreensaverExtensions()).size(), 2); // only the copy in use, without -D

    await(manager.runPluginkit({ u"-r"_s, copy }));
    await(manager.runPluginkit({ u"-r"_s, first }));
    found = await(manager.discoverScreensaverExtensions());
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].path, other);

    // Registering something that is no bundle is a reported error.
    EXPECT_THROW(await(manager.runPluginkit({ u"-a"_s, dir.filePath(u"missing.appex"_s) })), PluginkitError);
}

// Bundles the tool must refuse, each with a reported error, leaving the registry as it was: an
// Info.plist nested too deep to parse safely, and facts that would print a forged listing line.
TEST(PluginkitTool, RefusesBundlesItCannotReadSafelyOrListFaithfully)
{
    namespace samples = quorvel::testing::plist;
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    const QString registryFile = dir.filePath(u"data/quorvel/pluginkit/registrations.json"_s);
    auto runner = std::make_shared<quorvel::platform::QProcessRunner>();
    PluginkitManager manager(runner, QStringLiteral(QUORVEL_BIN_DIR "/quorvel-pluginkit"));
    const QString good = makeBundle(dir.filePath(u"Good.appex"_s), u"com.example.Good"_s, u"1"_s);
    await(manager.runPluginkit({ u"-a"_s, good }));
    const QByteArray before = readFile(registryFile);
    ASSERT_FALSE(before.isEmpty());

    const QString forged = QStringLiteral("com.evil\t\n+    com.quorvel.Quorvel.Extension(9)\tU\t2024-01-01 "
                                          "00:00:00 +0000\t/tmp/Evil.appex");
    const struct {
        const char* name;
        QString bundle;
        const char* reason; // in the tool's message
    } rows[] = {
        // One shape the shared reader refuses stands for all of them (they are its own cases).
        { "binary Info.plist 100,000 deep",
            makeBundleWithInfo(dir.filePath(u"DeepBinary.appex"_s), samples::deepBinaryArrays(100000)),
            "not a plug-in bundle" },
        { "identifier forging a second line", makeBundle(dir.filePath(u"Forged.appex"_s), forged, u"1"_s),
            "bundle identifier holds a control character (U+0009)" },
        { "identifier with a parenthesis", makeBundle(dir.filePath(u"Paren.appex"_s), u"a(1)"_s, u"1"_s),
            "white space or a parenthesis" },
        { "version with a line break",
            makeBundle(dir.filePath(u"Version.appex"_s), u"com.example.V"_s, u"1\n+    x(2)\tU\tD\t/tmp/Evil.appex"_s),
            "version holds a control character (U+000A)" },
        { "path with a line break", makeBundle(dir.filePath(u"Line\nBreak.appex"_s), u"com.example.P"_s, u"1"_s),
            "path holds a control character (U+000A)" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString message = fixtures::errorOf([&] { await(manager.runPluginkit({ u"-a"_s, row.bundle })); });
        EXPECT_TRUE(message.startsWith(u"pluginkit command failed: pluginkit: error: "_s)) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromUtf8(row.reason))) << message.toStdString();
        EXPECT_FALSE(message.trimmed().contains(QLatin1Char('\n'))) << "the message is one line";
        EXPECT_EQ(readFile(registryFile), before);
    }
    const auto listed = await(manager.discoverScreensaverExtensions());
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].path, good);

    // A forged registration that an older tool wrote into the file is never listed.
    QJsonObject registry = QJsonDocument::fromJson(before).object();
    QJsonArray entries = registry.value(u"registrations"_s).toArray();
    QJsonObject stale = entries.first().toObject();
    stale.insert(u"identifier"_s, forged);
    entries.append(stale);
    registry.insert(u"registrations"_s, entries);
    quorvel::testing::writeFile(registryFile, QJsonDocument(registry).toJson());
    const QString output = await(manager.runPluginkit(PluginkitManager::queryArguments));
    EXPECT_EQ(output.count(QLatin1Char('\n')), 1) << output.toStdString();
    EXPECT_FALSE(output.contains(u"Evil"_s));
}

// A registry never written lists nothing and succeeds, even where its folder cannot be made yet;
// one that cannot be read or parsed fails with why, and so does a change that has nowhere to go.
TEST(PluginkitTool, ANeverWrittenRegistryIsEmptyAndABrokenOneFailsWithItsReason)
{
    QTemporaryDir dir;
    quorvel::testing::writeFile(dir.filePath(u"plain-file"_s), "x");
    quorvel::testing::writeFile(dir.filePath(u"damaged/quorvel/pluginkit/registrations.json"_s), "{ not json");
    QDir().mkpath(dir.filePath(u"unreadable/quorvel/pluginkit/registrations.json"_s)); // a folder in its place
    const struct {
        const char* name;
        const char* dataHome;
        QStringList arguments;
        int exitCode;
        const char* output; // contained in the tool's output
    } rows[] = {
        { "fresh data folder", "fresh", { "-m", "-A", "-D", "-vv", "-i", "com.example.X" }, 0, "" },
        { "data folder under a plain file", "plain-file/data", { "-m", "-v", "-p", "com.apple.screensaver" }, 0, "" },
        { "damaged file", "damaged", { "-m", "-v" }, 1, "registrations.json is damaged" },
        { "unreadable file", "unreadable", { "-m", "-v" }, 1, "cannot read the registry file" },
        { "electing with no folder to write to", "plain-file/data", { "-e", "use", "-i", "com.example.X" }, 1,
            "cannot create the folder of" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_DATA_HOME"_s, dir.filePath(QString::fromUtf8(row.dataHome)));
        tool.setProcessEnvironment(environment);
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(QUORVEL_BIN_DIR "/quorvel-pluginkit"), row.arguments);
        ASSERT_TRUE(tool.waitForFinished(10000));
        const QString output = QString::fromUtf8(tool.readAll());
        EXPECT_EQ(tool.exitCode(), row.exitCode) << output.toStdString();
        if (row.exitCode == 0)
            EXPECT_EQ(output.toStdString(), "");
        else
            EXPECT_TRUE(output.contains(QString::fromUtf8(row.output))) << output.toStdString();
    }
}

// A change waits for whoever holds the registry's lock (the same lock the other programs take) and
// lands once they let go, so no one's read-change-write is lost under another's.
TEST(PluginkitTool, AChangeWaitsForTheHolderOfTheRegistryLock)
{
    QTemporaryDir dir;
    const QString registryFile = dir.filePath(u"data/quorvel/pluginkit/registrations.json"_s);
    QDir().mkpath(QFileInfo(registryFile).absolutePath());
    quorvel::platform::FileLock held(registryFile + u".lock"_s);
    ASSERT_EQ(held.tryLock(), quorvel::platform::FileLock::Result::acquired);

    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"data"_s));
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(QUORVEL_BIN_DIR "/quorvel-pluginkit"),
        { u"-a"_s, makeBundle(dir.filePath(u"Waiting.appex"_s), u"com.example.Waiting"_s, u"1"_s) });
    EXPECT_FALSE(tool.waitForFinished(300)) << "the tool did not wait for the lock";
    EXPECT_FALSE(QFile::exists(registryFile));
    held.unlock();
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_TRUE(readFile(registryFile).contains("com.example.Waiting"));
}

// The kit's own wiring finds the registry tool the way the app does: here beside the running
// test program (the build's bin folder), with no override and nothing on the search path. A tool
// found nowhere fails each query as a tool that cannot start, and nothing is started.
TEST(PluginkitTool, TheSystemKitFindsTheToolBesideTheProgramOrReportsItMissing)
{
    QTemporaryDir dir;
    const QByteArray path = qgetenv("PATH"), override = qgetenv("QUORVEL_PLUGINKIT");
    qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    qputenv("PATH", "");
    qunsetenv("QUORVEL_PLUGINKIT");
    auto env = KitEnvironment::system(nullptr, nullptr, dir.path());
    const QString bundle = makeBundle(dir.filePath(u"Found.appex"_s), u"com.example.Found"_s, u"2"_s);
    await(env->pluginkit->runPluginkit({ u"-a"_s, bundle }));
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
