#pragma once
// One run of a coroutine at a time: callers that arrive while a run is in flight wait for that
// run's result instead of starting one of their own.

#include <QCoroTask>

#include <coroutine>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace quorvel::app {

template <typename T> class SingleFlight {
public:
    // Starts `work()` (a callable returning QCoro::Task<T>) when no run is in flight; otherwise
    // awaits the running one and `work` is never called. `work` must not throw, and the flight
    // must outlive every run it starts.
    template <typename Work> QCoro::Task<T> run(Work work)
    {
        if (current_) {
            // A named awaiter: GCC 12 mishandles temporaries inside a co_await expression.
            Join join { current_ };
            co_return co_await join;
        }
        const auto flight = std::make_shared<Flight>();
        current_ = flight;
        T result = co_await work();
        // Cleared before the waiters resume, so that one of them may start the next run.
        current_.reset();
        flight->result = result;
        for (std::coroutine_handle<> waiter : std::exchange(flight->waiters, {}))
            waiter.resume();
        co_return result;
    }

private:
    struct Flight {
        std::optional<T> result;
        std::vector<std::coroutine_handle<>> waiters;
    };
    struct Join {
        std::shared_ptr<Flight> flight;
        bool await_ready() const noexcept { return flight->result.has_value(); }
        void await_suspend(std::coroutine_handle<> waiter) { flight->waiters.push_back(waiter); }
        T await_resume() const { return *flight->result; }
    };

    std::shared_ptr<Flight> current_;
};

} // namespace quorvel::app
