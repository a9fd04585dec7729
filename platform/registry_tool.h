#pragma once
// Where a program finds the registry tool: the build or the installation it runs from, never a
// path fixed when it was built.

#include "platform/operating_system.h"

#include <QString>

#include <functional>
#include <optional>

namespace quorvel::platform {

inline constexpr const char* kRegistryToolName = "quorvel-pluginkit";

struct RegistryToolSearch {
    // An explicit choice ($QUORVEL_PLUGINKIT), taken as it is.
    QString overridePath;
    // The running app; its executable's folder and the folder that holds the bundle are searched.
    std::optional<BundleInfo> mainBundle;
    // The running executable, searched beside when it runs from no bundle (the saver, tools).
    QString executablePath;
    // $PATH, folders separated by ":".
    QString searchPath;
    // Whether an executable file exists at a path (injected by tests).
    std::function<bool(const QString&)> isExecutable;
};

// The first executable candidate: the override, next to the app's executable, next to its bundle
// (or, outside a bundle, next to the running executable), then along the search path. None when
// there is none; callers then report the tool as missing.
std::optional<QString> locateRegistryTool(const RegistryToolSearch& search);

// The executable `name` next to the app's executable, next to its bundle (or the running
// executable), then along the search path; the override is the registry tool's own and is not
// consulted. The app's other tools, such as the screensaver host, are found this way.
std::optional<QString> locateBesideApp(const QString& name, const RegistryToolSearch& search);

// The search of the running process: its environment, its executable and the file system.
RegistryToolSearch registryToolSearch(const OperatingSystem& system);

// "The registry tool quorvel-pluginkit was found neither next to the app nor on the search path."
QString registryToolNotFoundText();

} // namespace quorvel::platform
