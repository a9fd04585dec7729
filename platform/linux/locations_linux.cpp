#include "platform/locations.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quorvel::platform {

namespace {
QString environmentOr(const char* name, const char* fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}
} // namespace

QString serviceBaseUrl()
{
    QString url = environmentOr("QUORVEL_SERVICE_URL", QUORVEL_DEFAULT_SERVICE_URL);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QString cdnBaseUrl()
{
    QString url = environmentOr("QUORVEL_CDN_URL", QUORVEL_DEFAULT_CDN_URL);
    if (!url.endsWith(QLatin1Char('/')))
        url += QLatin1Char('/');
    return url;
}

QString appcastUrl()
{
    return serviceBaseUrl() + QStringLiteral("/appcast.xml");
}

QString killallToolPath()
{
    return QStringLiteral("/usr/bin/killall");
}
QString saverToolPath()
{
    return environmentOr("QUORVEL_SAVER", QUORVEL_TOOL_DIR "/quorvel-saver");
}
QStringList applicationsFolders()
{
    return { QDir::homePath() + QStringLiteral("/Applications"), QStringLiteral(QUORVEL_PACKAGE_APP_DIR) };
}

std::optional<QString> packagedDaemonProgram(const QString& bundlePath)
{
    const QString bundle = QDir::cleanPath(QFileInfo(bundlePath).absoluteFilePath());
    const QString appFolder = QStringLiteral("/" QUORVEL_PACKAGE_APP_SUBDIR "/");
    const qsizetype at = bundle.lastIndexOf(appFolder);
    if (at < 0 || bundle.mid(at + appFolder.size()).contains(QLatin1Char('/')))
        return std::nullopt;
    const QFileInfo program(bundle.left(at) + QStringLiteral("/" QUORVEL_PACKAGE_DAEMON_PROGRAM));
    if (!program.isFile() || !program.isExecutable())
        return std::nullopt;
    return program.absoluteFilePath();
}

QString extensionCacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/com.quorvel.Quorvel.Extension/videos");
}

} // namespace quorvel::platform
