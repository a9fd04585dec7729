#pragma once
// The idle agent (quorvel-saver --agent) that starts the screensaver after the idle time: the
// login entry that starts it with the session, and its start right after enabling, so no logout is
// needed. A second agent exits at once, so starting one whenever enabling succeeds is safe.

#include <QString>

#include <optional>

namespace quorvel::platform {
class Autostart;
class ProcessRunner;
struct AutostartEntry;
} // namespace quorvel::platform

namespace quorvel::app {

class IdleAgent {
public:
    static inline const QString entryId = QStringLiteral("com.quorvel.Quorvel.Agent");
    static inline const QString agentArgument = QStringLiteral("--agent");

    // `hostPath`: this copy's screensaver host; everything must outlive the agent.
    IdleAgent(platform::Autostart& autostart, platform::ProcessRunner& runner, QString hostPath);

    // An entry left by an older copy (moved, updated) starts this copy's host from now on; the
    // user's choice to switch it off is kept. An entry that names this host, or none, is left
    // alone. None on success, else the user-facing reason (also logged).
    std::optional<QString> refreshEntry();
    // Writes the entry (switched on) and starts the agent now; none on success, else the
    // user-facing reason (also logged).
    std::optional<QString> enable();

    platform::AutostartEntry entry(bool enabled) const;

private:
    std::optional<QString> writeEntry(bool enabled);

    platform::Autostart& autostart_;
    platform::ProcessRunner& runner_;
    QString hostPath_;
};

} // namespace quorvel::app
