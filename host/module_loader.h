#pragma once
// Loads a screensaver module from an .appex bundle: Contents/Info.plist names the plug-in library
// (key "QuorvelPlugInLibrary", a path relative to Contents/), QPluginLoader loads it.

#include "saver_module/saver_module.h"

#include <QString>

#include <memory>
#include <variant>

class QPluginLoader;

namespace quorvel::saver {

// The Info.plist key the module bundle names its plug-in library with.
inline constexpr const char* kPlugInLibraryKey = "QuorvelPlugInLibrary";

struct LoadError {
    enum class Kind { NoSuchBundle, NotAModule, IncompatibleVersion, TurnedOff };
    Kind kind;
    // What exactly went wrong, for the printed line (a path, the loader's error...).
    QString detail;

    // "no such bundle", "not a Quorvel module", "incompatible version" or "turned off".
    QString reason() const;
    // The reason followed by the detail: "not a Quorvel module: <detail>".
    QString message() const;
};

// A loaded module. The library stays mapped for the life of the process: objects and code of the
// module may outlive this handle in Qt's caches, so it is never unloaded.
class LoadedModule {
public:
    LoadedModule(std::unique_ptr<QPluginLoader> loader, SaverModule* module, QString bundlePath);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    SaverModule& module() const { return *module_; }
    QString bundlePath() const { return bundlePath_; }
    QString libraryPath() const;

private:
    std::unique_ptr<QPluginLoader> loader_;
    SaverModule* module_;
    QString bundlePath_;
};

using LoadResult = std::variant<std::unique_ptr<LoadedModule>, LoadError>;

// Loads the module of the bundle at `bundlePath`; never throws.
LoadResult loadSaverModule(const QString& bundlePath);

// The module's principal; null, with the reason in `error`, when the module makes none or throws.
std::unique_ptr<SaverPrincipal> makeModulePrincipal(SaverModule& module, QString* error);

} // namespace quorvel::saver
