#pragma once
// The service's notion of time, injected so tests decide what "now" is.

#include <QDateTime>

namespace quorvel::service {

class ServiceClock {
public:
    virtual ~ServiceClock() = default;
    // Milliseconds since the Unix epoch (UTC).
    virtual qint64 nowMs() const = 0;
};

class SystemServiceClock final : public ServiceClock {
public:
    qint64 nowMs() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

// "yyyy-MM-dd" of a moment, in UTC.
inline QString isoDay(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).date().toString(Qt::ISODate);
}

} // namespace quorvel::service
