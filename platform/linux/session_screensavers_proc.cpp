#include "platform/session_screensavers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <array>
#include <unistd.h>

namespace quorvel::platform {
namespace {

constexpr std::array kKinds {
    ScreensaverDaemonKind::xscreensaver,
    ScreensaverDaemonKind::mateScreensaver,
    ScreensaverDaemonKind::xssLock,
};

// The kernel's command name is cut to 15 characters; the program name of argv[0] is not.
QString programOf(const QString& pid)
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {};
    const QByteArray first = cmdline.read(4096).split('\0').value(0);
    return QFileInfo(QString::fromLocal8Bit(first)).fileName();
}

} // namespace

QString daemonProgramName(ScreensaverDaemonKind kind)
{
    switch (kind) {
    case ScreensaverDaemonKind::xscreensaver:
        return QStringLiteral("xscreensaver");
    case ScreensaverDaemonKind::mateScreensaver:
        return QStringLiteral("mate-screensaver");
    case ScreensaverDaemonKind::xssLock:
        return QStringLiteral("xss-lock");
    }
    return {};
}

std::optional<RunningScreensaverDaemon> ProcessSessionScreensavers::runningDaemon() const
{
    const uint me = ::getuid();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool numeric = false;
        const qint64 number = pid.toLongLong(&numeric);
        if (!numeric || QFileInfo(QStringLiteral("/proc/") + pid).ownerId() != me)
            continue;
        const QString program = programOf(pid);
        for (const ScreensaverDaemonKind kind : kKinds) {
            if (program == daemonProgramName(kind))
                return RunningScreensaverDaemon { kind, number };
        }
    }
    return std::nullopt;
}

bool ProcessSessionScreensavers::isInstalled(ScreensaverDaemonKind kind) const
{
    return !QStandardPaths::findExecutable(daemonProgramName(kind)).isEmpty();
}

} // namespace quorvel::platform
