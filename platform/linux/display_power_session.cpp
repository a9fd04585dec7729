#include "platform/display_power.h"

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
    return std::make_unique<AlwaysOnDisplay>(parent);
}

} // namespace quorvel::platform
