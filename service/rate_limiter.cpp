#include "service/rate_limiter.h"

#include <QtMath>

namespace quorvel::service {

std::optional<double> RateLimiter::hit(const QString& key, qint64 nowMs)
{
    if (++hitsSinceSweep_ >= 1000)
        forgetIdle(nowMs);
    auto& calls = calls_[key];
    while (!calls.empty() && calls.front() <= nowMs - windowMs_)
        calls.pop_front();
    if (static_cast<int>(calls.size()) >= limit_) {
        const qint64 waitMs = calls.front() + windowMs_ - nowMs;
        // Tenths of a second, rounded up, so a client that waits this long gets through.
        return qMax(0.1, qCeil(waitMs / 100.0) / 10.0);
    }
    calls.push_back(nowMs);
    return std::nullopt;
}

void RateLimiter::forgetIdle(qint64 nowMs)
{
    hitsSinceSweep_ = 0;
    for (auto it = calls_.begin(); it != calls_.end();) {
        if (it->empty() || it->back() <= nowMs - windowMs_)
            it = calls_.erase(it);
        else
            ++it;
    }
}

} // namespace quorvel::service
