#include "kit/errors.h"
#include "kit/records.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;

// Designated initializers leave every unnamed optional empty on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {
// Through JSON text and back, as the app's listings and settings carry records.
QVariantMap viaJson(const QVariantMap& map)
{
    return QJsonDocument::fromJson(QJsonDocument(QJsonObject::fromVariantMap(map)).toJson()).object().toVariantMap();
}
} // namespace

// what() is what reaches a C++ caller's log: the message in UTF-8, valid for as long as the error
// lives (not a pointer into a string converted on the fly). The texts themselves are pinned where
// the operations that throw them are tested.
TEST(KitErrors, WhatIsTheMessageInUtf8)
{
    EXPECT_STREQ(TessaryError::spaceNotFoundOnDisplay(2, 5).what(), "Space 5 not found on Display 2");
    const TessaryError error = TessaryError::fileNotFound(u"/a/ü"_s);
    const char* what = error.what();
    EXPECT_EQ(QString::fromUtf8(what), error.errorDescription());
    EXPECT_EQ(QString::fromUtf8(error.what()), u"File not found: /a/ü"_s);
}

TEST(ScreensaverTypeTest, KindComesFromTheLowerCasedExtensionAndRawValuesRoundTrip)
{
    const std::vector<std::pair<const char*, ScreensaverType>> rows = {
        { "/Library/Screen Savers/Flurry.SAVER", ScreensaverType::traditional },
        { "/Applications/Q.app/Contents/PlugIns/QuorvelExtension.appex", ScreensaverType::appExtension },
        { "/Applications/Q.app/Contents/PlugIns/QuorvelExtension.appex/", ScreensaverType::appExtension },
        { "/System/Library/Screen Savers/Aerial", ScreensaverType::sequoiaVideo }, // no extension
        { "/Library/Screen Savers/Odd.bundle", ScreensaverType::traditional },
    };
    for (const auto& [path, type] : rows)
        EXPECT_EQ(screensaver_type::fromPath(QString::fromUtf8(path)), type) << path;
    for (const auto type : screensaver_type::allCases)
        EXPECT_EQ(screensaver_type::fromRawValue(screensaver_type::rawValue(type)), type);
    EXPECT_FALSE(screensaver_type::fromRawValue(u"screensaver"_s).has_value());
}

TEST(KitRecords, RecordsRoundTripAndAbsentOptionalsStayAbsent)
{
    const auto bare
        = ScreensaverInfo::decode(viaJson({ { u"name"_s, u"Quorvel"_s }, { u"identifier"_s, u"Q.appex"_s } }));
    ASSERT_TRUE(bare);
    EXPECT_EQ(*bare, (ScreensaverInfo { u"Quorvel"_s, u"Q.appex"_s, {}, {} }));
    EXPECT_NE(*bare, (ScreensaverInfo { u"Quorvel"_s, u"Q.appex"_s, QString(), {} }));
    EXPECT_FALSE(ScreensaverInfo::decode({ { u"name"_s, u"Quorvel"_s } }));

    const ScreensaverInfo info { u"A"_s, u"A.saver"_s, u"/L/A.saver"_s, ScreenIdentifier { 42 } };
    EXPECT_EQ(ScreensaverInfo::decode(viaJson(info.encode())), info);
    const DisplayInfo display { .uuid = u"ABC"_s,
        .displayID = 7,
        .frame = QRectF(0, 0, 1920, 1080),
        .isMain = true,
        .isConnected = true,
        .refreshRate = 60,
        .displayName = u"Studio"_s };
    EXPECT_EQ(DisplayInfo::decode(viaJson(display.encode())), display);
    const PluginkitExtension extension { u"com.x"_s, u"1"_s, u"U"_s, u"/p/X.appex"_s };
    EXPECT_EQ(PluginkitExtension::decode(extension.encode()), extension);
}

TEST(KitRecords, ScreenIdentifierNeedsAnUnsigned32BitScreenNumber)
{
    const QString key = u"NSScreenNumber"_s;
    for (const QVariantMap& bad : { QVariantMap {}, QVariantMap { { key, u"1"_s } },
             QVariantMap { { key, qint64(-1) } }, QVariantMap { { key, qint64(1) << 33 } } })
        EXPECT_FALSE(ScreenIdentifier::fromDeviceDescription(bad));
    EXPECT_EQ(ScreenIdentifier::fromDeviceDescription({ { key, 69734208u } }), ScreenIdentifier { 69734208u });
}

TEST(KitRecords, DisplayTextsForListings)
{
    const QString uuid = u"1234ABCD-0000-0000-0000-000000000000"_s;
    const std::vector<std::tuple<DisplayInfo, const char*, const char*>> rows = {
        { { .uuid = uuid, .isMain = true, .isConnected = true }, "Main Display 1234ABCD...", "Unknown resolution" },
        { { .uuid = uuid,
              .frame = QRectF(0, 0, 1512.4, 982),
              .isMain = true,
              .isConnected = true,
              .displayName = u"Built-in"_s },
            "Built-in (Main)", "1512x982" },
        { { .uuid = uuid, .resolution = QSizeF(2560, 1440), .refreshRate = 144, .scale = 1, .configVersion = 12 },
            "Display 1234ABCD... (last seen: Config 12)", "2560x1440 @ 144Hz" },
    };
    for (const auto& [display, name, resolution] : rows) {
        EXPECT_EQ(display.friendlyName(), QString::fromUtf8(name));
        EXPECT_EQ(display.resolutionDescription(), QString::fromUtf8(resolution));
    }
}
