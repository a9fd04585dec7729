#include "platform/bundle_reader.h"
#include "platform/operating_system.h"
#include "platform/plist_reader.h"
#include "support/environment_guard.h"
#include "support/files.h"
#include "support/plist_samples.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using quorvel::platform::LinuxOperatingSystem;
using quorvel::platform::detail::bundlePathForExecutable;
using quorvel::platform::detail::readBundle;
using quorvel::testing::EnvironmentGuard;

const QByteArray kXmlInfo = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>com.quorvel.Quorvel</string>
  <key>CFBundleVersion</key><string>42</string>
  <key>CFBundleShortVersionString</key><string>1.2.0</string>
  <key>CFBundleExecutable</key><string>Quorvel</string>
</dict></plist>)";

// Identifier, executable, and a CFBundleVersion of the wrong type (an integer), which counts as absent.
const QByteArray kBinaryInfo = QByteArray::fromBase64(
    "YnBsaXN0MDDTAQIDBAUGXxASQ0ZCdW5kbGVFeGVjdXRhYmxlXxASQ0ZCdW5kbGVJZGVudGlmaWVyXxAPQ0ZCdW5kbGVWZXJzaW9uXxAQUXVvcnZl"
    "bEV4dGVuc2lvbl8QHWNvbS5xdW9ydmVsLlF1b3J2ZWwuRXh0ZW5zaW9uEAcIDyQ5S15+AAAAAAAAAQEAAAAAAAAABwAAAAAAAAAAAAAAAAAAAIA=");

QString makeBundle(const QTemporaryDir& dir, const QString& name, const QByteArray& info)
{
    const QString bundle = dir.filePath(name);
    QDir().mkpath(bundle + "/Contents/MacOS");
    quorvel::testing::writeFile(bundle + "/Contents/Info.plist", info);
    return bundle;
}

TEST(BundleReader, ReadsXmlAndBinaryInfoPlists)
{
    QTemporaryDir dir;
    const auto app = readBundle(makeBundle(dir, "Quorvel.app", kXmlInfo) + "/");
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->bundlePath, dir.filePath("Quorvel.app"));
    EXPECT_EQ(app->identifier, "com.quorvel.Quorvel");
    EXPECT_EQ(app->version, QStringLiteral("42"));
    EXPECT_EQ(app->shortVersion, QStringLiteral("1.2.0"));
    EXPECT_EQ(app->plugInsPath, dir.filePath("Quorvel.app/Contents/PlugIns"));
    EXPECT_EQ(app->executablePath, dir.filePath("Quorvel.app/Contents/MacOS/Quorvel"));

    const auto appex = readBundle(makeBundle(dir, "QuorvelExtension.appex", kBinaryInfo));
    ASSERT_TRUE(appex.has_value());
    EXPECT_EQ(appex->identifier, "com.quorvel.Quorvel.Extension");
    EXPECT_FALSE(appex->version.has_value());
    EXPECT_FALSE(appex->shortVersion.has_value());
}

TEST(BundleReader, MissingKeysAndBrokenFiles)
{
    QTemporaryDir dir;
    const auto escaping = readBundle(makeBundle(dir, "Escape.app",
        "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>../../../bin/sh</string></dict></plist>"));
    ASSERT_TRUE(escaping.has_value());
    EXPECT_TRUE(escaping->executablePath.isEmpty());
    const auto array
        = readBundle(makeBundle(dir, "Array.app", "<plist version=\"1.0\"><array><string>a</string></array></plist>"));
    ASSERT_TRUE(array.has_value());
    EXPECT_TRUE(array->identifier.isEmpty());

    const struct {
        const char* name;
        QByteArray bytes;
    } broken[] = {
        { "empty", "" },
        { "garbage", "\x01\x02 not a plist at all \xff" },
        { "truncated xml", kXmlInfo.left(kXmlInfo.size() / 2) },
        { "truncated binary", kBinaryInfo.left(20) },
        { "binary header only", "bplist00" },
        { "nested 100,000 deep", quorvel::testing::plist::deepBinaryArrays(100000) },
        { "nested 260,000 deep", quorvel::testing::plist::deepXmlArrays(260000) },
    };
    for (const auto& row : broken)
        EXPECT_FALSE(readBundle(makeBundle(dir, QStringLiteral("%1.app").arg(row.name), row.bytes)).has_value())
            << row.name;
    EXPECT_FALSE(readBundle(dir.filePath("Nowhere.app")).has_value());
    EXPECT_FALSE(readBundle(QString()).has_value());

    // Found by fuzzing: a binary plist whose string holds a NUL made libplist abort the process.
    const auto nul = readBundle(makeBundle(dir, "Nul.app",
        QByteArray::fromBase64(
            "YnBsaXN0MDDSAQIDBF8QEkNGQnVuZGxlRXhlY3V0YWJsZVFu"
            "bHilBQYHCAkQASNABAAAAAAAAAlCYWLRCgtRa1F2CA0iJCYsLjc4Oz5AAAAAAAAAAQEAAAAAAAAADAAAAAAAAAAAAAA"
            "AAAAAAEI=")));
    ASSERT_TRUE(nul.has_value());
    EXPECT_TRUE(nul->executablePath.isEmpty());
}

TEST(BundleReader, FindsTheBundleOfAnExecutable)
{
    EXPECT_EQ(bundlePathForExecutable("/opt/Quorvel.app/Contents/MacOS/Quorvel"), QStringLiteral("/opt/Quorvel.app"));
    EXPECT_EQ(bundlePathForExecutable("/a/./Quorvel.app/Contents/MacOS/Quorvel"), QStringLiteral("/a/Quorvel.app"));
    for (const char* outside :
        { "/usr/bin/quorvel-saver", "/Contents/MacOS/Quorvel", "/opt/Quorvel.app/MacOS/Quorvel" })
        EXPECT_FALSE(bundlePathForExecutable(outside).has_value()) << outside;
    // The test executable does not run from a bundle.
    EXPECT_FALSE(LinuxOperatingSystem().mainBundle().has_value());
}

TEST(LinuxOperatingSystem, VersionFollowsItsOverride)
{
    EnvironmentGuard version("QUORVEL_OS_VERSION");
    const LinuxOperatingSystem os;
    qputenv("QUORVEL_OS_VERSION", "13.6.1");
    EXPECT_FALSE(os.version().atLeast(14, 0));
    EXPECT_TRUE(os.version().atLeast(13, 6, 1));
    // Anything malformed reads as the default 14.0.0.
    for (const char* bad : { "13", "x.y.z", "13.6.1.2", "" }) {
        qputenv("QUORVEL_OS_VERSION", bad);
        EXPECT_TRUE(os.version().atLeast(14, 0, 0) && !os.version().atLeast(14, 0, 1)) << bad;
    }
}

} // namespace
