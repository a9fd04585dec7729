#pragma once
// The registry's election of a screensaver module: whether the user turned it off, read and set
// through the registry tool. A turned-off module is not played, and the settings pane turns it on.

#include "host/module_loader.h"

#include <QCoroTask>
#include <QString>

#include <memory>
#include <optional>

namespace quorvel::platform {
class ProcessRunner;
}

namespace quorvel::saver {

// The identifier the application registers its extension under.
inline constexpr const char* kExtensionIdentifier = "com.quorvel.Quorvel.Extension";

enum class Election {
    notRegistered, // the registry lists no entry of the identifier
    on,
    off, // the entry's mark is "-": the user turned it off
};

struct ElectionReading {
    std::optional<Election> election; // none when the registry could not be read
    QString error; // why not, when it could not
};

class ModuleElections {
public:
    // An empty `toolPath` is a registry tool that was not found.
    ModuleElections(std::shared_ptr<platform::ProcessRunner> runner, QString toolPath);
    virtual ~ModuleElections() = default;

    // The election of `identifier`'s entry at `bundlePath` (when listed there), else of its first
    // entry in use, else of its first entry: the entry the application itself goes by.
    virtual QCoro::Task<ElectionReading> election(QString identifier, QString bundlePath = {}) const;
    // Turns every entry of `identifier` on ("-e use") or off ("-e ignore"). None on success,
    // otherwise the failure text: "<tool> exited with status <n>: <its output>".
    virtual QCoro::Task<std::optional<QString>> elect(QString identifier, bool on) const;

private:
    std::shared_ptr<platform::ProcessRunner> runner_;
    QString toolPath_;
};

// Elections through this installation's registry tool, found as the application finds it.
std::unique_ptr<ModuleElections> makeSystemModuleElections();

// The identifier of the module at `bundlePath` when the registry has it turned off, else none. A
// registry that cannot be read turns nothing off (and is logged). Blocks on the registry tool.
std::optional<QString> turnedOffIdentifier(const ModuleElections& elections, const QString& bundlePath);

// Loads the module at `bundlePath` unless the registry has it turned off (LoadError::TurnedOff with
// its identifier).
LoadResult loadUnlessTurnedOff(const ModuleElections& elections, const QString& bundlePath);

} // namespace quorvel::saver
