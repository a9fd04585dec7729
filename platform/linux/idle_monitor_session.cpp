#include "platform/idle_monitor.h"

namespace quorvel::platform {

std::unique_ptr<IdleMonitor> makeSessionIdleMonitor(QObject* parent)
{
    return makeUnavailableIdleMonitor(QStringLiteral("This desktop does not say when it is idle."), parent);
}

} // namespace quorvel::platform
