#include "platform/linux/display_powers.h"
#include "platform/linux/xcb_support.h"

#include <xcb/dpms.h>

namespace quorvel::platform {
namespace {

using namespace std::chrono_literals;

// DPMS has no events; a look every few seconds is one round trip to a local server.
constexpr std::chrono::milliseconds kDpmsInterval = 3s;

class PolledDisplayPower final : public DisplayPower {
public:
    PolledDisplayPower(std::function<std::optional<bool>()> isOn, Sleeper& sleeper, std::chrono::milliseconds interval,
        std::unique_ptr<Sleeper> ownedSleeper, QObject* parent)
        : DisplayPower(parent)
        , isOn_(std::move(isOn))
        , ownedSleeper_(std::move(ownedSleeper))
        , sleeper_(sleeper)
        , interval_(interval)
    {
        const std::optional<bool> now = isOn_();
        on_ = now.value_or(true);
        if (now)
            scheduleNext();
    }

    bool isDisplayOn() const override { return on_; }

private:
    void scheduleNext()
    {
        sleeper_.schedule(interval_, this, [this] { look(); });
    }

    void look()
    {
        const std::optional<bool> now = isOn_();
        const bool on = now.value_or(true);
        if (on != on_) {
            on_ = on;
            emit displayPowerChanged(on_);
        }
        if (now)
            scheduleNext();
    }

    std::function<std::optional<bool>()> isOn_;
    std::unique_ptr<Sleeper> ownedSleeper_;
    Sleeper& sleeper_;
    std::chrono::milliseconds interval_;
    bool on_ = true;
};

} // namespace

std::unique_ptr<DisplayPower> makePolledDisplayPower(
    std::function<std::optional<bool>()> isOn, Sleeper& sleeper, std::chrono::milliseconds interval, QObject* parent)
{
    return std::make_unique<PolledDisplayPower>(std::move(isOn), sleeper, interval, nullptr, parent);
}

std::unique_ptr<DisplayPower> makeDpmsDisplayPower(const QString& displayName, QObject* parent)
{
    detail::XcbDisplay display = detail::connectXcb(displayName);
    if (!display.connection)
        return nullptr;
    // A request to an extension the server lacks would end the connection.
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(display.connection.get(), &xcb_dpms_id);
    if (!extension || !extension->present)
        return nullptr;
    auto connection = std::make_shared<detail::XcbConnection>(std::move(display.connection));
    auto isOn = [connection]() -> std::optional<bool> {
        xcb_connection_t* c = connection->get();
        detail::XcbReply<xcb_dpms_info_reply_t> info(xcb_dpms_info_reply(c, xcb_dpms_info(c), nullptr));
        if (!info)
            return std::nullopt;
        return !info->state || info->power_level == XCB_DPMS_DPMS_MODE_ON;
    };
    auto sleeper = std::make_unique<TimerSleeper>();
    Sleeper& reference = *sleeper;
    return std::make_unique<PolledDisplayPower>(std::move(isOn), reference, kDpmsInterval, std::move(sleeper), parent);
}

} // namespace quorvel::platform
