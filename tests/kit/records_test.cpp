#include "kit/errors.h"
#include "kit/records.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quorvel::kit;

TEST(KitErrors, MessagesAreTheExactUserFacingTexts)
{
    const std::vector<std::pair<TessaryError, const char*>> rows = {
        {TessaryError::unsupportedOperation(QStringLiteral("x")), "Unsupported operation: x"},
        {TessaryError::fileNotFound(QStringLiteral("/a/b")), "File not found: /a/b"},
        {TessaryError::permissionDenied(QStringLiteral("p")), "Permission denied: p"},
        {TessaryError::invalidConfiguration(QStringLiteral("No displays found")), "Invalid configuration: No displays found"},
        {TessaryError::plistReadError(QStringLiteral("/s")), "Failed to read plist: /s"},
        {TessaryError::plistWriteError(QStringLiteral("binary data")), "Failed to write plist: binary data"},
        {TessaryError::screensaverNotFound(QStringLiteral("Foo")), "Screensaver not found: Foo"},
        {TessaryError::displayNotFound(3), "Display 3 not found"},
        {TessaryError::spaceNotFoundOnDisplay(2, 5), "Space 5 not found on Display 2"},
        {TessaryError::unknownError(QStringLiteral("boom")), "Unknown error: boom"},
        {TessaryError::spaceNotFound(), "Space not found"},
        {TessaryError::sonomaRequired(), "This feature requires macOS 14.0 (Sonoma) or later"},
        {TessaryError::invalidScreenIdentifier(), "Invalid screen identifier provided"},
        {TessaryError::systemVersionDetectionFailed(), "Failed to detect macOS version"},
        {TessaryError::changeRolledBack(), "Couldn't make the screensaver change; the previous settings were restored."},
    };
    for (const auto& [error, text] : rows) {
        EXPECT_EQ(error.errorDescription(), QString::fromUtf8(text));
        EXPECT_STREQ(error.what(), text);
    }
    EXPECT_EQ(PluginkitError::commandFailed(QStringLiteral("out")).errorDescription(), QStringLiteral("pluginkit command failed: out"));
    EXPECT_EQ(PluginkitError::extensionNotFound(QStringLiteral("id")).errorDescription(), QStringLiteral("Extension not found: id"));
}

TEST(ScreensaverTypeTest, KindIsDecidedByTheLowerCasedExtensionInDeclarationOrder)
{
    const std::vector<std::pair<const char*, ScreensaverType>> rows = {
        {"/Library/Screen Savers/Flurry.SAVER", ScreensaverType::traditional},
        {"/Applications/Q.app/Contents/PlugIns/QuorvelExtension.appex", ScreensaverType::appExtension},
        {"/Applications/Q.app/Contents/PlugIns/QuorvelExtension.appex/", ScreensaverType::appExtension},
        {"/System/Library/Screen Savers/Aerial", ScreensaverType::sequoiaVideo},   // no extension
        {"/Library/Screen Savers/Odd.bundle", ScreensaverType::traditional},
    };
    for (const auto& [path, type] : rows)
        EXPECT_EQ(screensaver_type::fromPath(QString::fromUtf8(path)), type) << path;
}

TEST(ScreensaverTypeTest, RawValuesProvidersAndNamesRoundTrip)
{
    for (const auto type : screensaver_type::allCases)
        EXPECT_EQ(screensaver_type::fromRawValue(screensaver_type::rawValue(type)), type);
    EXPECT_FALSE(screensaver_type::fromRawValue(QStringLiteral("screensaver")).has_value());
    EXPECT_EQ(screensaver_type::providerIdentifier(ScreensaverType::appExtension), QStringLiteral("com.apple.NeptuneOneExtension"));
    EXPECT_EQ(screensaver_type::displayName(ScreensaverType::builtInMac), QStringLiteral("Classic Mac"));
}

TEST(KitRecords, ScreensaverInfoWithoutOptionalsDecodesEqualToOneBuiltWithout)
{
    const auto json = QJsonDocument::fromJson(R"({"name":"Quorvel","identifier":"QuorvelExtension.appex"})").object();
    const auto decoded = ScreensaverInfo::decode(json.toVariantMap());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, (ScreensaverInfo{QStringLiteral("Quorvel"), QStringLiteral("QuorvelExtension.appex"), {}, {}}));
    EXPECT_NE(*decoded, (ScreensaverInfo{QStringLiteral("Quorvel"), QStringLiteral("QuorvelExtension.appex"), QString(), {}}));
    EXPECT_FALSE(ScreensaverInfo::decode(QJsonDocument::fromJson(R"({"name":"Quorvel"})").object().toVariantMap()));
}

TEST(KitRecords, RecordsRoundTripThroughJsonKeyedCoding)
{
    const ScreensaverInfo info{QStringLiteral("A"), QStringLiteral("A.saver"), QStringLiteral("/L/A.saver"), ScreenIdentifier{42}};
    const auto json = QJsonDocument(QJsonObject::fromVariantMap(info.encode())).toJson();
    EXPECT_EQ(ScreensaverInfo::decode(QJsonDocument::fromJson(json).object().toVariantMap()), info);

    DisplayInfo display;
    display.uuid = QStringLiteral("ABC");
    display.displayID = 7;
    display.frame = QRectF(0, 0, 1920, 1080);
    display.isMain = true;
    display.isConnected = true;
    display.refreshRate = 60;
    display.displayName = QStringLiteral("Studio");
    const auto displayJson = QJsonDocument(QJsonObject::fromVariantMap(display.encode())).toJson();
    EXPECT_EQ(DisplayInfo::decode(QJsonDocument::fromJson(displayJson).object().toVariantMap()), display);

    const PluginkitExtension extension{QStringLiteral("com.x"), QStringLiteral("1"), QStringLiteral("U"), QStringLiteral("/p/X.appex")};
    EXPECT_EQ(PluginkitExtension::decode(extension.encode()), extension);
}

TEST(KitRecords, ScreenIdentifierNeedsAnUnsigned32BitScreenNumber)
{
    EXPECT_FALSE(ScreenIdentifier::fromDeviceDescription({}));
    EXPECT_FALSE(ScreenIdentifier::fromDeviceDescription({{QStringLiteral("NSScreenNumber"), QStringLiteral("1")}}));
    EXPECT_FALSE(ScreenIdentifier::fromDeviceDescription({{QStringLiteral("NSScreenNumber"), qint64(-1)}}));
    EXPECT_FALSE(ScreenIdentifier::fromDeviceDescription({{QStringLiteral("NSScreenNumber"), qint64(1) << 33}}));
    EXPECT_EQ(ScreenIdentifier::fromDeviceDescription({{QStringLiteral("NSScreenNumber"), 69734208u}}), ScreenIdentifier{69734208u});
}

TEST(KitRecords, DisplayTextsForListings)
{
    DisplayInfo connected;
    connected.uuid = QStringLiteral("1234ABCD-0000-0000-0000-000000000000");
    connected.isConnected = true;
    connected.isMain = true;
    EXPECT_EQ(connected.friendlyName(), QStringLiteral("Main Display 1234ABCD..."));
    EXPECT_EQ(connected.resolutionDescription(), QStringLiteral("Unknown resolution"));
    connected.frame = QRectF(0, 0, 1512.4, 982);
    EXPECT_EQ(connected.resolutionDescription(), QStringLiteral("1512x982"));
    connected.displayName = QStringLiteral("Built-in Retina Display");
    EXPECT_EQ(connected.friendlyName(), QStringLiteral("Built-in Retina Display (Main)"));

    DisplayInfo gone;
    gone.uuid = QStringLiteral("FEDCBA98-0000");
    gone.configVersion = 12;
    gone.resolution = QSizeF(2560, 1440);
    gone.refreshRate = 144;
    gone.scale = 1;
    EXPECT_EQ(gone.friendlyName(), QStringLiteral("Display FEDCBA98... (last seen: Config 12)"));
    EXPECT_EQ(gone.resolutionDescription(), QStringLiteral("2560x1440 @ 144Hz"));
    gone.scale = 2;
    EXPECT_EQ(gone.resolutionDescription(), QStringLiteral("2560x1440 @ 144Hz @ 2x"));
}

TEST(KitRecords, TargetsPrintAsCaseAndPayload)
{
    EXPECT_EQ(ScreensaverTarget::everywhere().description(), QStringLiteral("everywhere"));
    EXPECT_EQ(ScreensaverTarget::onDisplay(2).description(), QStringLiteral("display(2)"));
    EXPECT_EQ(ScreensaverTarget::onSpace(QStringLiteral("AB")).description(), QStringLiteral("space(\"AB\")"));
    EXPECT_EQ(ScreensaverTarget::onDisplaySpace(1, 3).description(), QStringLiteral("displaySpace(display: 1, space: 3)"));
}
