#pragma once
// The module the wallpaper store selects for each screen: exactly the choice the kit reports for
// that screen's current space (the kit's resolver over this platform's screens, synthesised spaces
// and registry tool), so what the application set and verified is what plays.

#include "host/module_locator.h"

#include <memory>

namespace quorvel::platform {
class Screens;
}
namespace quorvel::kit {
class ModuleResolver;
}

namespace quorvel::saver {

class StoreModuleLocator final : public ModuleLocator {
public:
    StoreModuleLocator();
    ~StoreModuleLocator() override;

    // Each lookup writes the minimal store first when none exists.
    Located selectedModuleBundle() const override;
    Located moduleForScreen(const QRect& frame) const override;

private:
    // Built on first use: with --bundle the store is never read, nor written.
    const kit::ModuleResolver& resolver() const;

    mutable std::shared_ptr<platform::Screens> screens_;
    mutable std::unique_ptr<kit::ModuleResolver> resolver_;
};

} // namespace quorvel::saver
