#pragma once
// The idle time in effect, for everyone who reads the stored "idleTime": the agent that waits for
// it, the settings pane that offers it and the main window that tells it.

#include <QtGlobal>

#include <chrono>
#include <optional>

namespace quorvel::kit {

// The idle time when none is set.
inline constexpr std::chrono::seconds kDefaultIdleTime { 300 };

// Absent (or not a valid count) is the default; 0 is never.
inline std::chrono::seconds effectiveIdleTime(std::optional<qint64> storedSeconds)
{
    if (!storedSeconds || *storedSeconds < 0)
        return kDefaultIdleTime;
    return std::chrono::seconds(*storedSeconds);
}

} // namespace quorvel::kit
