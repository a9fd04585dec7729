#include "platform/linux/display_powers.h"

namespace quorvel::platform {
namespace {

class AlwaysOnDisplay final : public DisplayPower {
public:
    using DisplayPower::DisplayPower;
    bool isDisplayOn() const override { return true; }
};

} // namespace

std::unique_ptr<DisplayPower> makeDisplayPower(QObject* parent)
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        if (std::unique_ptr<DisplayPower> dpms = makeDpmsDisplayPower(QString(), parent))
            return dpms;
    }
    return std::make_unique<AlwaysOnDisplay>(parent);
}

} // namespace quorvel::platform
