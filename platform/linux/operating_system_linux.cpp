#include "platform/bundle_reader.h"
#include "platform/operating_system.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace quorvel::platform {

namespace {

// How long the desktop settings tool may take before we assume the default.
constexpr int kSettingsToolTimeoutMs = 2000;

std::optional<bool> animationsEnabledFromDesktop()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool,
        { QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations") });
    if (!process.waitForFinished(kSettingsToolTimeoutMs)) {
        process.kill();
        process.waitForFinished(kSettingsToolTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const QByteArray answer = process.readAllStandardOutput().trimmed();
    if (answer == "true")
        return true;
    if (answer == "false")
        return false;
    return std::nullopt;
}

} // namespace

OperatingSystemVersion LinuxOperatingSystem::version() const
{
    // For manual trials of the older-system branches.
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,4})\\.(\\d{1,4})\\.(\\d{1,4})$"));
    const auto match = pattern.match(qEnvironmentVariable("QUORVEL_OS_VERSION"));
    if (match.hasMatch())
        return { match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt() };
    return { 14, 0, 0 };
}

bool LinuxOperatingSystem::reduceMotion() const
{
    const QByteArray forced = qgetenv("QUORVEL_REDUCE_MOTION");
    if (forced == "1")
        return true;
    if (forced == "0")
        return false;
    const auto animations = animationsEnabledFromDesktop();
    return animations.has_value() && !*animations;
}

std::optional<BundleInfo> LinuxOperatingSystem::mainBundle() const
{
    const auto path = detail::bundlePathForExecutable(QCoreApplication::applicationFilePath());
    if (!path)
        return std::nullopt;
    return detail::readBundle(*path);
}

std::optional<BundleInfo> LinuxOperatingSystem::bundle(const QString& bundlePath) const
{
    return detail::readBundle(bundlePath);
}

} // namespace quorvel::platform
