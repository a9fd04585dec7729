#pragma once
// A sliding-window limit of calls per key.

#include <QHash>
#include <QString>

#include <deque>
#include <optional>

namespace quorvel::service {

class RateLimiter {
public:
    RateLimiter(int limit, qint64 windowMs)
        : limit_(limit)
        , windowMs_(windowMs)
    {
    }
    // Records a call at `nowMs`. Returns the seconds to wait when the call exceeds the limit
    // (refused calls are not counted), nullopt when it is allowed.
    std::optional<double> hit(const QString& key, qint64 nowMs);

private:
    void forgetIdle(qint64 nowMs);

    int limit_;
    qint64 windowMs_;
    QHash<QString, std::deque<qint64>> calls_;
    int hitsSinceSweep_ = 0;
};

} // namespace quorvel::service
