#include "platform/log.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

namespace {

using namespace quorvel::platform;

TEST(Log, LinesLandInTheirCategoryAndLevel)
{
    quorvel::testing::LogCapture capture;
    log::info(LogCategory::View, QStringLiteral("[A1] playing \"x\""));
    log::error(LogCategory::AppLocation, QStringLiteral("boom"));
    log::debug(LogCategory::PluginManager, QStringLiteral("raw output"));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].category, "com.quorvel.Quorvel.View");
    EXPECT_EQ(lines[0].type, QtInfoMsg);
    EXPECT_EQ(lines[0].message, "[A1] playing \"x\""); // no quoting added
    EXPECT_EQ(lines[1].type, QtCriticalMsg);
    EXPECT_EQ(lines[2].category, "com.quorvel.Quorvel.PluginManager");
    EXPECT_EQ(lines[2].type, QtDebugMsg);
}

} // namespace
