#pragma once
// The desktop's own screensaver daemons: which one runs this session, and which are installed.
// Where one runs, it decides when the screensaver starts and our idle agent stays out of its way.

#include <QString>

#include <optional>

namespace quorvel::platform {

enum class ScreensaverDaemonKind {
    xscreensaver, // runs the programs of ~/.xscreensaver inside its own window
    mateScreensaver, // runs screensaver theme entries whose program is in its hack folder
    xssLock, // starts a locker (xsecurelock runs XSECURELOCK_SAVER) when the X server's screensaver activates
};

struct RunningScreensaverDaemon {
    ScreensaverDaemonKind kind;
    qint64 pid = 0;
};

class SessionScreensavers {
public:
    virtual ~SessionScreensavers() = default;
    // The daemon that runs this user's session now, if any.
    virtual std::optional<RunningScreensaverDaemon> runningDaemon() const = 0;
    // The daemon's program is installed on this machine.
    virtual bool isInstalled(ScreensaverDaemonKind kind) const = 0;
};

// Looks at the processes in /proc of this user on this display, and at the programs on PATH.
class ProcessSessionScreensavers final : public SessionScreensavers {
public:
    std::optional<RunningScreensaverDaemon> runningDaemon() const override;
    bool isInstalled(ScreensaverDaemonKind kind) const override;
};

// The daemon's program name ("xscreensaver", "mate-screensaver", "xss-lock").
QString daemonProgramName(ScreensaverDaemonKind kind);

} // namespace quorvel::platform
