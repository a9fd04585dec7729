// Command lines and XSCREENSAVER_WINDOW: which mode, which bundle, which window; bad input refused.
#include "host/saver_options.h"

#include <gtest/gtest.h>

using namespace quorvel::saver;

namespace {

std::optional<SaverOptions> expect(
    SaverMode mode, const QString& bundle = {}, quint64 window = 0, std::optional<qint64> idleTime = {})
{
    SaverOptions options;
    options.mode = mode;
    options.bundlePath = bundle;
    options.windowId = window;
    options.idleTimeSeconds = idleTime;
    return options;
}

TEST(SaverOptions, ModesBundlesWindowsAndRefusals)
{
    const struct {
        const char* name;
        QStringList arguments;
        QString environment;
        std::optional<SaverOptions> expected; // none: refused
    } rows[] = {
        { "no arguments run full-screen", {}, {}, expect(SaverMode::FullScreen) },
        { "bundle and preview", { "--bundle", "/b/X.appex", "--preview" }, {},
            expect(SaverMode::Preview, "/b/X.appex") },
        { "bundle with equals", { "--settings", "--bundle=/b/Y.appex" }, {},
            expect(SaverMode::Settings, "/b/Y.appex") },
        { "decimal window id", { "--window-id", "4194311" }, {}, expect(SaverMode::Window, {}, 4194311) },
        { "hex window id", { "--window-id=0x1A00003" }, {}, expect(SaverMode::Window, {}, 0x1a00003) },
        { "daemon's variable", {}, "0x400001", expect(SaverMode::Window, {}, 0x400001) },
        { "explicit preview beats the variable", { "--preview" }, "0x400001", expect(SaverMode::Preview) },
        { "explicit window beats the variable", { "--window-id", "7" }, "0x400001", expect(SaverMode::Window, {}, 7) },
        { "blank variable is unset", {}, "  ", expect(SaverMode::FullScreen) },
        { "window id that is no number", { "--window-id", "main" }, {}, std::nullopt },
        { "window id zero", { "--window-id", "0" }, {}, std::nullopt },
        { "negative window id", { "--window-id", "-5" }, {}, std::nullopt },
        { "bundle without a path", { "--bundle" }, {}, std::nullopt },
        { "two modes", { "--preview", "--settings" }, {}, std::nullopt },
        { "unknown option", { "--frobnicate" }, {}, std::nullopt },
        { "a flag given a value", { "--preview=yes" }, {}, std::nullopt },
        { "garbage in the daemon's variable", {}, "window", std::nullopt },
        { "the daemons' -root is ignored, the variable still names the window", { "-root" }, "0x400001",
            expect(SaverMode::Window, {}, 0x400001) },
        { "the agent", { "--agent" }, "0x400001", expect(SaverMode::Agent) },
        { "idle time to print", { "--idle-time" }, {}, expect(SaverMode::IdleTime) },
        { "idle time to set", { "--idle-time", "120" }, {}, expect(SaverMode::IdleTime, {}, 0, 120) },
        { "a negative idle time reaches the kit", { "--idle-time", "-5" }, {}, expect(SaverMode::IdleTime, {}, 0, -5) },
        { "idle time that is no number", { "--idle-time=soon" }, {}, std::nullopt },
        { "agent and settings", { "--agent", "--settings" }, {}, std::nullopt },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto parsed = parseSaverOptions(row.arguments, row.environment);
        ASSERT_EQ(std::holds_alternative<SaverOptions>(parsed), row.expected.has_value());
        if (!row.expected)
            continue;
        const SaverOptions& options = std::get<SaverOptions>(parsed);
        EXPECT_EQ(options.mode, row.expected->mode);
        EXPECT_EQ(options.bundlePath, row.expected->bundlePath);
        EXPECT_EQ(options.windowId, row.expected->windowId);
        EXPECT_EQ(options.idleTimeSeconds, row.expected->idleTimeSeconds);
    }
}

} // namespace
