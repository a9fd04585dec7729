#include "host/store_module_locator.h"

#include "kit/module_resolution.h"
#include "platform/preferences.h"
#include "platform/screens.h"
#include "platform/spaces.h"

#include <QCoroTask>

namespace quorvel::saver {

std::variant<QString, LocateError> StoreModuleLocator::selectedModuleBundle() const
{
    auto screens = std::make_shared<platform::QtScreens>();
    auto spaces = std::make_shared<platform::SynthesizedSpaces>(screens);
    auto preferences = std::make_shared<platform::FilePreferences>(QStringLiteral("com.quorvel.saver"), QString(), spaces);
    const kit::ModuleResolver resolver(kit::KitEnvironment::system(preferences, screens));
    resolver.ensureStore();
    // The resolver never throws, so waiting on it here (before the host's event loop) is safe.
    const kit::ModuleResolution resolution = QCoro::waitFor(resolver.resolveMain());
    if (const auto* error = std::get_if<kit::ModuleResolutionError>(&resolution))
        return LocateError{error->message()};
    return std::get<QString>(resolution);
}

} // namespace quorvel::saver
