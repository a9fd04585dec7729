#pragma once
// The module the wallpaper store selects, found as the system's host would find it (the kit's
// resolver over this platform's screens, synthesised spaces and registry tool).

#include "host/module_locator.h"

namespace quorvel::saver {

class StoreModuleLocator final : public ModuleLocator {
public:
    // The module of the main screen's choice; writes the minimal store first when none exists.
    std::variant<QString, LocateError> selectedModuleBundle() const override;
};

} // namespace quorvel::saver
