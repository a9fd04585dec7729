#pragma once
// Time and waiting, injected everywhere so tests never wait for real.

#include <QCoroTask>
#include <QDateTime>
#include <QObject>

#include <chrono>
#include <functional>

namespace quorvel::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time in UTC.
    virtual QDateTime now() const = 0;
    // Monotonic time since an arbitrary start; never goes backwards.
    virtual std::chrono::milliseconds monotonic() const = 0;
};

class Sleeper {
public:
    virtual ~Sleeper() = default;
    // Suspends the calling coroutine without blocking the event loop.
    // Returns false when the wait was interrupted (its owner went away).
    virtual QCoro::Task<bool> sleep(std::chrono::milliseconds duration) = 0;
    // Runs `action` on the event loop after `delay`, unless `context` is destroyed first.
    virtual void schedule(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) = 0;
    // Blocks the calling (non-GUI) thread; for work that already runs off the event loop.
    virtual void sleepBlocking(std::chrono::milliseconds duration) = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    std::chrono::milliseconds monotonic() const override;
};

class TimerSleeper final : public Sleeper {
public:
    QCoro::Task<bool> sleep(std::chrono::milliseconds duration) override;
    void schedule(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override;
    void sleepBlocking(std::chrono::milliseconds duration) override;
};

} // namespace quorvel::platform
