#include "host/store_module_locator.h"

#include "kit/module_resolution.h"
#include "platform/preferences.h"
#include "platform/screens.h"
#include "platform/spaces.h"

#include <QCoroTask>

namespace quorvel::saver {
namespace {

Located located(const kit::ModuleResolution& resolution)
{
    if (const auto* error = std::get_if<kit::ModuleResolutionError>(&resolution))
        return LocateError { error->message() };
    return std::get<QString>(resolution);
}

} // namespace

StoreModuleLocator::StoreModuleLocator() = default;
StoreModuleLocator::~StoreModuleLocator() = default;

const kit::ModuleResolver& StoreModuleLocator::resolver() const
{
    if (!resolver_) {
        screens_ = std::make_shared<platform::QtScreens>();
        auto spaces = std::make_shared<platform::SynthesizedSpaces>(screens_);
        auto preferences
            = std::make_shared<platform::FilePreferences>(QStringLiteral("com.quorvel.saver"), QString(), spaces);
        resolver_ = std::make_unique<kit::ModuleResolver>(kit::KitEnvironment::system(preferences, screens_));
        resolver_->ensureStore();
    }
    return *resolver_;
}

// The resolver never throws, so waiting on it (outside the host's event loop) is safe.
Located StoreModuleLocator::selectedModuleBundle() const
{
    return located(QCoro::waitFor(resolver().resolveMain()));
}

Located StoreModuleLocator::moduleForScreen(const QRect& frame) const
{
    const kit::ModuleResolver& kit = resolver();
    // The window system's screens and the store's displays meet on the screen's frame.
    for (const platform::ScreenDescription& screen : screens_->screens())
        if (screen.frame.toRect() == frame)
            return located(QCoro::waitFor(kit.resolve(screen.uuid)));
    return LocateError { QStringLiteral("no screen covers %1x%2+%3+%4")
                             .arg(frame.width())
                             .arg(frame.height())
                             .arg(frame.x())
                             .arg(frame.y()) };
}

} // namespace quorvel::saver
