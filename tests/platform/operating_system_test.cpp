#include "platform/linux/bundle_reader.h"
#include "platform/linux/plist_document.h"
#include "platform/operating_system.h"
#include "support/environment_guard.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <plist/plist.h>

#include <cstdlib>

namespace {

using quorvel::platform::LinuxOperatingSystem;
using quorvel::platform::detail::bundlePathForExecutable;
using quorvel::platform::detail::PlistDocument;
using quorvel::platform::detail::readBundle;

const QByteArray kXmlInfo = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>com.quorvel.Quorvel</string>
  <key>CFBundleVersion</key><string>42</string>
  <key>CFBundleShortVersionString</key><string>1.2.0</string>
  <key>CFBundleExecutable</key><string>Quorvel</string>
</dict></plist>)";

QByteArray binaryInfo()
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string("com.quorvel.Quorvel.Extension"));
    plist_dict_set_item(dict, "CFBundleVersion", plist_new_uint(7)); // wrong type: counts as absent
    plist_dict_set_item(dict, "CFBundleExecutable", plist_new_string("QuorvelExtension"));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    QByteArray out(bytes, length);
    free(bytes);
    plist_free(dict);
    return out;
}

QString makeBundle(const QTemporaryDir& dir, const QString& name, const QByteArray& info)
{
    const QString bundle = dir.filePath(name);
    QDir().mkpath(bundle + "/Contents/MacOS");
    QFile file(bundle + "/Contents/Info.plist");
    file.open(QIODevice::WriteOnly);
    file.write(info);
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

    const auto appex = readBundle(makeBundle(dir, "QuorvelExtension.appex", binaryInfo()));
    ASSERT_TRUE(appex.has_value());
    EXPECT_EQ(appex->identifier, "com.quorvel.Quorvel.Extension");
    EXPECT_FALSE(appex->version.has_value());
    EXPECT_FALSE(appex->shortVersion.has_value());
}

TEST(BundleReader, MissingKeysAndBrokenFiles)
{
    QTemporaryDir dir;
    const auto bare = readBundle(makeBundle(dir, "Bare.app", "<plist version=\"1.0\"><dict/></plist>"));
    ASSERT_TRUE(bare.has_value());
    EXPECT_TRUE(bare->identifier.isEmpty());
    EXPECT_FALSE(bare->version.has_value());
    EXPECT_TRUE(bare->executablePath.isEmpty());

    const auto escaping = readBundle(makeBundle(dir, "Escape.app",
        "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>../../../bin/sh</string></dict></plist>"));
    ASSERT_TRUE(escaping.has_value());
    EXPECT_TRUE(escaping->executablePath.isEmpty());

    const struct {
        const char* name;
        QByteArray bytes;
    } broken[] = {
        { "empty", "" },
        { "garbage", "\x01\x02 not a plist at all \xff" },
        { "truncated xml", kXmlInfo.left(kXmlInfo.size() / 2) },
        { "truncated binary", binaryInfo().left(20) },
        { "binary header only", "bplist00" },
    };
    for (const auto& row : broken)
        EXPECT_FALSE(readBundle(makeBundle(dir, QStringLiteral("%1.app").arg(row.name), row.bytes)).has_value())
            << row.name;
    EXPECT_FALSE(readBundle(dir.filePath("Nowhere.app")).has_value());
    EXPECT_FALSE(readBundle(QString()).has_value());
}

TEST(PlistDocument, TheRootMustBeADictionaryOfStrings)
{
    const auto array = PlistDocument::parse("<plist version=\"1.0\"><array><string>a</string></array></plist>");
    ASSERT_TRUE(array.has_value());
    EXPECT_FALSE(array->rootString("CFBundleIdentifier").has_value());
    const auto xml = PlistDocument::parse(kXmlInfo);
    ASSERT_TRUE(xml.has_value());
    EXPECT_EQ(xml->rootString("CFBundleExecutable"), QStringLiteral("Quorvel"));
}

// Found by fuzzing: a binary plist whose string holds a NUL made libplist abort the process.
TEST(PlistDocument, AStringWithANulInsideIsRefusedNotFatal)
{
    const QByteArray bytes
        = QByteArray::fromBase64("AGJwbGlzdDAw0gECAwRfEBJDRkJ1bmRsZUV4ZWN1dGFibGVRbmx4pQUGBwgJEAEjQAQAAAAAAAAJQmFi0QoLU"
                                 "WtRdggNIiQmLC43ODs+QAAAAAAAAAEBAAAAAAAAAAwAAAAAAAAAAAAAAAAAAABC")
              .mid(1);
    const auto document = PlistDocument::parse(bytes);
    ASSERT_TRUE(document.has_value());
    EXPECT_FALSE(document->rootString("CFBundleExecutable").has_value());
}

TEST(BundleReader, FindsTheBundleOfAnExecutable)
{
    EXPECT_EQ(bundlePathForExecutable("/opt/Quorvel.app/Contents/MacOS/Quorvel"), QStringLiteral("/opt/Quorvel.app"));
    EXPECT_EQ(bundlePathForExecutable("/a/./Quorvel.app/Contents/MacOS/Quorvel"), QStringLiteral("/a/Quorvel.app"));
    EXPECT_FALSE(bundlePathForExecutable("/usr/bin/quorvel-saver").has_value());
    EXPECT_FALSE(bundlePathForExecutable("/Contents/MacOS/Quorvel").has_value());
    EXPECT_FALSE(bundlePathForExecutable("/opt/Quorvel.app/MacOS/Quorvel").has_value());
    // The test executable does not run from a bundle.
    EXPECT_FALSE(LinuxOperatingSystem().mainBundle().has_value());
}

using quorvel::testing::EnvironmentGuard;

TEST(LinuxOperatingSystem, VersionAndReduceMotionFollowTheirOverrides)
{
    EnvironmentGuard version("QUORVEL_OS_VERSION"), motion("QUORVEL_REDUCE_MOTION");
    const LinuxOperatingSystem os;
    qunsetenv("QUORVEL_OS_VERSION");
    EXPECT_TRUE(os.version().atLeast(14, 0, 0));
    EXPECT_FALSE(os.version().atLeast(14, 0, 1));
    qputenv("QUORVEL_OS_VERSION", "13.6.1");
    EXPECT_FALSE(os.version().atLeast(14, 0));
    EXPECT_TRUE(os.version().atLeast(13, 6, 1));
    for (const char* bad : { "13", "13.6", "x.y.z", "13.6.1.2", "" }) {
        qputenv("QUORVEL_OS_VERSION", bad);
        EXPECT_EQ(os.version().major, 14) << bad;
    }
    qputenv("QUORVEL_REDUCE_MOTION", "1");
    EXPECT_TRUE(os.reduceMotion());
    qputenv("QUORVEL_REDUCE_MOTION", "0");
    EXPECT_FALSE(os.reduceMotion());
}

} // namespace
