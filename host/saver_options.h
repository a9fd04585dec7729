#pragma once
// quorvel-saver's command line.

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace quorvel::saver {

enum class SaverMode {
    FullScreen, // one view per connected screen, dismissed by input
    Preview, // one preview instance in a small window
    Settings, // the settings pane: preview plus the configuration sheet
    Window, // one full-screen instance inside an existing X11 window
    Agent, // the idle agent: starts the full-screen saver after the idle time
    IdleTime, // sets the idle time (idleTimeSeconds), or prints it when none is given
};

struct SaverOptions {
    SaverMode mode = SaverMode::FullScreen;
    // Empty: the module comes from the module locator.
    QString bundlePath;
    // The X11 window to draw into, for SaverMode::Window.
    quint64 windowId = 0;
    // SaverMode::IdleTime: the seconds to set, none to print the current idle time.
    std::optional<qint64> idleTimeSeconds;
    // --help: print the usage and exit successfully.
    bool help = false;
};

struct OptionsError {
    QString message;
};

// "Usage: ..." text for --help and for errors.
QString saverUsage();

// Parses `arguments` (without the program name). `saverWindowVariable` is the value of
// XSCREENSAVER_WINDOW, empty when unset; --window-id wins over it. Window ids are decimal or 0x-hex.
std::variant<SaverOptions, OptionsError> parseSaverOptions(
    const QStringList& arguments, const QString& saverWindowVariable);

// A window id in decimal or 0x-hex, none when it is not one (0 is no window).
std::optional<quint64> parseWindowId(const QString& text);

} // namespace quorvel::saver
