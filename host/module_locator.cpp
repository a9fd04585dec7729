#include "host/module_locator.h"

namespace quorvel::saver {

Located UnselectedModuleLocator::selectedModuleBundle() const
{
    return LocateError { QStringLiteral("no screensaver module is selected") };
}

Located UnselectedModuleLocator::moduleForScreen(const QRect&) const
{
    return selectedModuleBundle();
}

} // namespace quorvel::saver
