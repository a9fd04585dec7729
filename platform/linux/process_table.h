#pragma once
// Questions about processes by id, answered from /proc and signals.

#include <QtGlobal>

#include <optional>

namespace quorvel::platform::detail {

// The process exists and has not yet exited (a zombie counts as gone).
bool processIsAlive(qint64 pid);
// The kernel's start time of the process (clock ticks since boot), which tells a reused pid apart.
std::optional<quint64> processStartTime(qint64 pid);

} // namespace quorvel::platform::detail
