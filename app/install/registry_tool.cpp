#include "app/install/registry_tool.h"

#include <QDir>
#include <QFileInfo>

namespace quorvel::app {

std::optional<QString> locateRegistryTool(const RegistryToolSearch& search)
{
    if (!search.overridePath.isEmpty())
        return search.overridePath;
    return locateBesideApp(QString::fromLatin1(kRegistryToolName), search);
}

std::optional<QString> locateBesideApp(const QString& name, const RegistryToolSearch& search)
{
    QStringList folders;
    if (search.mainBundle) {
        if (!search.mainBundle->executablePath.isEmpty())
            folders.append(QFileInfo(search.mainBundle->executablePath).absolutePath());
        if (!search.mainBundle->bundlePath.isEmpty())
            folders.append(QFileInfo(search.mainBundle->bundlePath).absolutePath());
    }
    // Relative entries of the search path would depend on the working folder; they are skipped.
    for (const QString& folder : search.searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(folder))
            folders.append(folder);
    for (const QString& folder : folders) {
        const QString candidate = QDir::cleanPath(folder + QLatin1Char('/') + name);
        if (search.isExecutable && search.isExecutable(candidate))
            return candidate;
    }
    return std::nullopt;
}

RegistryToolSearch registryToolSearch(const platform::OperatingSystem& system)
{
    RegistryToolSearch search;
    search.overridePath = qEnvironmentVariable("QUORVEL_PLUGINKIT");
    search.mainBundle = system.mainBundle();
    search.searchPath = qEnvironmentVariable("PATH");
    search.isExecutable = [](const QString& path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable();
    };
    return search;
}

} // namespace quorvel::app
