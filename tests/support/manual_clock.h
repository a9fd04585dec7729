#pragma once
// A clock that moves only when told, and a sleeper that moves it instead of waiting.

#include "platform/clock.h"

#include <QPointer>

#include <vector>

namespace quorvel::testing {

class ManualClock final : public platform::Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2025, 3, 7), QTime(12, 0), Qt::UTC))
        : now_(start)
    {
    }
    QDateTime now() const override { return now_; }
    std::chrono::milliseconds monotonic() const override { return monotonic_; }
    void advance(std::chrono::milliseconds by)
    {
        now_ = now_.addMSecs(by.count());
        monotonic_ += by;
    }
    void setNow(QDateTime now) { now_ = std::move(now); }

private:
    QDateTime now_;
    std::chrono::milliseconds monotonic_ { 0 };
};

// sleep() returns at once after advancing the clock; schedule() queues actions until
// runDue()/advance() reaches their time. Every requested wait is recorded.
class ManualSleeper final : public platform::Sleeper {
public:
    explicit ManualSleeper(ManualClock& clock)
        : clock_(clock)
    {
    }

    QCoro::Task<bool> sleep(std::chrono::milliseconds duration) override
    {
        sleeps.push_back(duration);
        clock_.advance(duration);
        co_return true;
    }

    void schedule(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override
    {
        scheduled_.push_back(
            { clock_.monotonic() + delay, QPointer<QObject>(context), context != nullptr, std::move(action) });
    }

    void sleepBlocking(std::chrono::milliseconds duration) override
    {
        sleeps.push_back(duration);
        clock_.advance(duration);
    }

    // Moves the clock forward and runs every scheduled action that became due, in time order.
    void advance(std::chrono::milliseconds by)
    {
        clock_.advance(by);
        runDue();
    }

    void runDue()
    {
        for (;;) {
            auto due = scheduled_.end();
            for (auto it = scheduled_.begin(); it != scheduled_.end(); ++it)
                if (it->at <= clock_.monotonic() && (due == scheduled_.end() || it->at < due->at))
                    due = it;
            if (due == scheduled_.end())
                return;
            Pending pending = std::move(*due);
            scheduled_.erase(due);
            if (!pending.hadContext || pending.context)
                pending.action();
        }
    }

    size_t pendingCount() const { return scheduled_.size(); }

    std::vector<std::chrono::milliseconds> sleeps;

private:
    struct Pending {
        std::chrono::milliseconds at;
        QPointer<QObject> context;
        bool hadContext;
        std::function<void()> action;
    };
    ManualClock& clock_;
    std::vector<Pending> scheduled_;
};

} // namespace quorvel::testing
