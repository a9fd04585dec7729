#include "platform/bundle_reader.h"
#include "platform/operating_system.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace quorvel::platform {

OperatingSystemVersion LinuxOperatingSystem::version() const
{
    // For manual trials of the older-system branches.
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,4})\\.(\\d{1,4})\\.(\\d{1,4})$"));
    const auto match = pattern.match(qEnvironmentVariable("QUORVEL_OS_VERSION"));
    if (match.hasMatch())
        return { match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt() };
    return { 14, 0, 0 };
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
