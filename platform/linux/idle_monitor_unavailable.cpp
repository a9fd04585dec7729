#include "platform/idle_monitor.h"

namespace quorvel::platform {
namespace {

class UnavailableIdleMonitor final : public IdleMonitor {
public:
    UnavailableIdleMonitor(QString reason, QObject* parent)
        : IdleMonitor(parent)
        , reason_(std::move(reason))
    {
    }
    QString unavailableReason() const override { return reason_; }
    QString mechanism() const override { return QStringLiteral("nothing"); }
    void watch(std::chrono::milliseconds) override { }
    std::optional<std::chrono::milliseconds> idleTime() const override { return std::nullopt; }

private:
    QString reason_;
};

} // namespace

std::unique_ptr<IdleMonitor> makeUnavailableIdleMonitor(QString reason, QObject* parent)
{
    return std::make_unique<UnavailableIdleMonitor>(std::move(reason), parent);
}

} // namespace quorvel::platform
