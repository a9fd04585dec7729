#include "platform/registry_tool.h"

#include <QDir>
#include <QFileInfo>

namespace quorvel::platform {

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
    } else if (QDir::isAbsolutePath(search.executablePath)) {
        folders.append(QFileInfo(search.executablePath).absolutePath());
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

QString registryToolNotFoundText()
{
    return QStringLiteral("The registry tool %1 was found neither next to the app nor on the search path.")
        .arg(QString::fromLatin1(kRegistryToolName));
}

} // namespace quorvel::platform
