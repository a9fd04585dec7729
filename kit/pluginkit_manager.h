#pragma once
// Read-only queries of the plug-in registry through its command-line tool.

#include "kit/records.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace quorvel::platform {
class ProcessRunner;
}

namespace quorvel::kit {

class PluginkitManager {
public:
    // An empty `toolPath` stands for a tool that was not found: every query then fails as a tool
    // that cannot start, without starting anything.
    PluginkitManager(std::shared_ptr<platform::ProcessRunner> runner, QString toolPath);
    virtual ~PluginkitManager() = default;

    // The tool's combined output. Throws PlatformError when it cannot start, commandFailed when it
    // reports an error (non-zero status with "error" in its output) or does not finish in 30 seconds.
    virtual QCoro::Task<QString> runPluginkit(QStringList arguments);
    virtual QCoro::Task<QList<PluginkitExtension>> discoverScreensaverExtensions();
    // The first registration whose bundle file name without extension equals `name`.
    QCoro::Task<std::optional<PluginkitExtension>> findExtension(QString name);

    // Parses verbose listing lines "<mark> <identifier>(<version>)<tab><uuid><tab><date><tab><path>";
    // the path runs from the first field that begins with "/" to the end of the line.
    static QList<PluginkitExtension> parseListing(const QString& output);
    static inline const QStringList queryArguments { QStringLiteral("-m"), QStringLiteral("-v"), QStringLiteral("-p"),
        QStringLiteral("com.apple.screensaver") };

private:
    std::shared_ptr<platform::ProcessRunner> runner_;
    QString toolPath_;
};

// The bundle's file name without its extension ("/a/Example.appex" → "Example").
QString bundleBaseName(const QString& bundlePath);

} // namespace quorvel::kit
