#include "host/module_locator.h"

namespace quorvel::saver {

std::variant<QString, LocateError> UnselectedModuleLocator::selectedModuleBundle() const
{
    return LocateError { QStringLiteral("no screensaver module is selected") };
}

} // namespace quorvel::saver
