#pragma once
// The display power of this platform: a periodic look at a power state that sends no events.

#include "platform/clock.h"
#include "platform/display_power.h"

#include <chrono>
#include <functional>
#include <optional>

namespace quorvel::platform {

// Asks `isOn` now and then every `interval` through `sleeper`, and signals each change once.
// An answer of nullopt (the state can no longer be read) counts as on and ends the polling:
// nothing is paused for a display nobody can see is dark.
std::unique_ptr<DisplayPower> makePolledDisplayPower(std::function<std::optional<bool>()> isOn, Sleeper& sleeper,
    std::chrono::milliseconds interval, QObject* parent = nullptr);

// The X server's DPMS level on `displayName` (empty: $DISPLAY): on while DPMS is disabled or the
// level is On. Null when the display cannot be reached or its server has no DPMS.
std::unique_ptr<DisplayPower> makeDpmsDisplayPower(const QString& displayName, QObject* parent = nullptr);

} // namespace quorvel::platform
