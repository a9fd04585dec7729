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

// ":1.0" and ":1" name the same display; the screen number does not matter here.
QString displayOf(const QString& value)
{
    const qsizetype colon = value.lastIndexOf(u':');
    const qsizetype dot = value.indexOf(u'.', colon < 0 ? 0 : colon);
    return colon >= 0 && dot > colon ? value.left(dot) : value;
}

// A daemon started for another display of this user (a second seat, a nested or virtual X server)
// does not run this session. When either side's display is unknown, the daemon counts.
bool runsOnDisplay(const QString& pid, const QString& display)
{
    if (display.isEmpty())
        return true;
    QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QList<QByteArray> variables = file.readAll().split('\0');
    for (const QByteArray& variable : variables) {
        if (variable.startsWith("DISPLAY="))
            return displayOf(QString::fromLocal8Bit(variable.mid(8))) == display;
    }
    return true;
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
    const QString display = displayOf(qEnvironmentVariable("DISPLAY"));
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool numeric = false;
        const qint64 number = pid.toLongLong(&numeric);
        if (!numeric || QFileInfo(QStringLiteral("/proc/") + pid).ownerId() != me)
            continue;
        const QString program = programOf(pid);
        for (const ScreensaverDaemonKind kind : kKinds) {
            if (program == daemonProgramName(kind) && runsOnDisplay(pid, display))
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
