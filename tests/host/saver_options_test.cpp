// Command lines and XSCREENSAVER_WINDOW: which mode, which bundle, which window; bad input refused.
#include "host/saver_options.h"

#include <gtest/gtest.h>

using namespace quorvel::saver;

namespace {

TEST(SaverOptions, ModesBundlesAndWindows)
{
    const struct {
        const char* name;
        QStringList arguments;
        QString environment;
        SaverMode mode;
        QString bundle;
        quint64 window;
    } rows[] = {
        { "no arguments run full-screen", {}, {}, SaverMode::FullScreen, {}, 0 },
        { "bundle and preview", { "--bundle", "/b/X.appex", "--preview" }, {}, SaverMode::Preview, "/b/X.appex", 0 },
        { "bundle with equals, settings", { "--settings", "--bundle=/b/Y.appex" }, {}, SaverMode::Settings,
            "/b/Y.appex", 0 },
        { "decimal window id", { "--window-id", "4194311" }, {}, SaverMode::Window, {}, 4194311 },
        { "hex window id", { "--window-id=0x1A00003" }, {}, SaverMode::Window, {}, 0x1a00003 },
        { "daemon's variable", {}, "0x400001", SaverMode::Window, {}, 0x400001 },
        { "explicit preview beats the variable", { "--preview" }, "0x400001", SaverMode::Preview, {}, 0 },
        { "explicit window beats the variable", { "--window-id", "7" }, "0x400001", SaverMode::Window, {}, 7 },
        { "blank variable is unset", {}, "  ", SaverMode::FullScreen, {}, 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto parsed = parseSaverOptions(row.arguments, row.environment);
        ASSERT_TRUE(std::holds_alternative<SaverOptions>(parsed))
            << std::get<OptionsError>(parsed).message.toStdString();
        const SaverOptions& options = std::get<SaverOptions>(parsed);
        EXPECT_EQ(options.mode, row.mode);
        EXPECT_EQ(options.bundlePath, row.bundle);
        EXPECT_EQ(options.windowId, row.window);
    }
}

TEST(SaverOptions, BadCommandLinesAreRefused)
{
    const struct {
        const char* name;
        QStringList arguments;
        QString environment;
    } rows[] = {
        { "window id that is no number", { "--window-id", "main" }, {} },
        { "window id zero", { "--window-id", "0" }, {} },
        { "window id missing", { "--window-id" }, {} },
        { "negative window id", { "--window-id", "-5" }, {} },
        { "bundle without a path", { "--bundle" }, {} },
        { "empty bundle path", { "--bundle=" }, {} },
        { "two modes", { "--preview", "--settings" }, {} },
        { "unknown option", { "--frobnicate" }, {} },
        { "a flag given a value", { "--preview=yes" }, {} },
        { "garbage in the daemon's variable", {}, "window" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto parsed = parseSaverOptions(row.arguments, row.environment);
        ASSERT_TRUE(std::holds_alternative<OptionsError>(parsed));
        EXPECT_FALSE(std::get<OptionsError>(parsed).message.isEmpty());
    }
}

} // namespace
