// The registry tool search of the running process on this system.
#include "platform/registry_tool.h"

#include <QFileInfo>

namespace quorvel::platform {

RegistryToolSearch registryToolSearch(const OperatingSystem& system)
{
    RegistryToolSearch search;
    search.overridePath = qEnvironmentVariable("QUORVEL_PLUGINKIT");
    search.mainBundle = system.mainBundle();
    search.executablePath = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    search.searchPath = qEnvironmentVariable("PATH");
    search.isExecutable = [](const QString& path) {
        const QFileInfo info(path);
        return info.isFile() && info.isExecutable();
    };
    return search;
}

} // namespace quorvel::platform
