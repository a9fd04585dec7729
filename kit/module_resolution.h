#pragma once
// How a screensaver host on this platform finds the module to play: per screen, the choice that the
// kit itself reports for that screen's current space (ScreensaverManager::screensaverChoiceIn), so
// what the application verified is what plays; the chosen module is found in the screensaver
// folders or through the registry tool. Standing in for the wallpaper agent, it writes a minimal
// store when none exists.

#include "kit/screensaver_manager.h"

#include <QCoroTask>

#include <variant>

namespace quorvel::kit {

struct ModuleResolutionError {
    enum class Kind { storeUnreadable, nothingSelected, notAModule, moduleNotInstalled, noScreen };
    Kind kind;
    QString detail; // the store path or the module name
    QString message() const;
};

using ModuleResolution = std::variant<QString, ModuleResolutionError>;

class ModuleResolver {
public:
    explicit ModuleResolver(std::shared_ptr<KitEnvironment> env);

    // {"AllSpacesAndDisplays"/"SystemDefault": {"Type": "individual"}, "Spaces": {<space>: {}}},
    // written only when no store exists (checked again under the store's lock); false when it could
    // not be written.
    bool ensureStore() const;
    // The module bundle for the screen with this UUID, or why there is none. Never throws.
    QCoro::Task<ModuleResolution> resolve(QString screenUUID) const;
    // For the main screen (the first screen when none is main).
    QCoro::Task<ModuleResolution> resolveMain() const;

private:
    ScreensaverManager manager_;
    std::shared_ptr<KitEnvironment> env_;
};

} // namespace quorvel::kit
