#pragma once
// How long the session has gone without input, counted the way the desktop itself counts it, so
// that whatever holds the desktop's screensaver off (a video player, a presentation) holds this off
// too.

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace quorvel::platform {

class IdleMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Empty when idle can be watched here; otherwise why not, as a sentence a user can read. It may
    // become non-empty at watch(), when the mechanism finds itself locked out (another program
    // already runs the X server's screensaver) or loses its connection.
    virtual QString unavailableReason() const = 0;
    bool isAvailable() const { return unavailableReason().isEmpty(); }
    // What does the counting, for logs ("the X server's screensaver timer").
    virtual QString mechanism() const = 0;

    // Arms the watch: becameIdle() once per idle spell, when the session has been idle for
    // `threshold` with nothing holding the screensaver off. Calling it again replaces the threshold
    // at once, also in the middle of a spell (a spell already past it becomes idle now; on X11
    // within a second, as the X server counts whole seconds); zero disarms.
    virtual void watch(std::chrono::milliseconds threshold) = 0;
    // How long the session has been idle now, when this mechanism can say.
    virtual std::optional<std::chrono::milliseconds> idleTime() const = 0;

signals:
    // The threshold was crossed.
    void becameIdle();
    // The first input after becameIdle().
    void becameActive();
};

// The monitor for this session: the X server's screensaver on X11, GNOME's idle monitor and
// session inhibitors over D-Bus on GNOME (X11 or Wayland); elsewhere one that says it cannot watch.
std::unique_ptr<IdleMonitor> makeSessionIdleMonitor(QObject* parent = nullptr);

// The monitor for a session in which idle cannot be watched; `reason` says why.
std::unique_ptr<IdleMonitor> makeUnavailableIdleMonitor(QString reason, QObject* parent = nullptr);

} // namespace quorvel::platform
