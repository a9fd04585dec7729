#pragma once
// Where the host finds its module when no --bundle is given.

#include <QString>

#include <variant>

namespace quorvel::saver {

struct LocateError {
    QString message;
};

class ModuleLocator {
public:
    virtual ~ModuleLocator() = default;
    // The bundle path of the selected screensaver module, or why there is none.
    virtual std::variant<QString, LocateError> selectedModuleBundle() const = 0;
};

// Knows of no selection yet: every lookup says "no screensaver module is selected".
class UnselectedModuleLocator final : public ModuleLocator {
public:
    std::variant<QString, LocateError> selectedModuleBundle() const override;
};

} // namespace quorvel::saver
