#pragma once
// Where the host finds its module when no --bundle is given.

#include <QRect>
#include <QString>

#include <variant>

namespace quorvel::saver {

struct LocateError {
    QString message;
};

using Located = std::variant<QString, LocateError>;

class ModuleLocator {
public:
    virtual ~ModuleLocator() = default;
    // The bundle path of the module the main screen's choice selects, or why there is none.
    virtual Located selectedModuleBundle() const = 0;
    // The bundle path of the module the choice of the screen covering `frame` (global
    // coordinates) selects, or why there is none.
    virtual Located moduleForScreen(const QRect& frame) const = 0;
};

// Knows of no selection yet: every lookup says "no screensaver module is selected".
class UnselectedModuleLocator final : public ModuleLocator {
public:
    Located selectedModuleBundle() const override;
    Located moduleForScreen(const QRect& frame) const override;
};

} // namespace quorvel::saver
