#include "kit/kit_environment.h"

#include <QTimer>

#include <cstdio>

namespace quorvel::kit {

bool StoreWriteQueue::Awaiter::await_ready()
{
    State& state = queue->states_[path];
    if (state.busy)
        return false;
    state.busy = true;
    return true;
}

void StoreWriteQueue::Awaiter::await_suspend(std::coroutine_handle<> handle)
{
    queue->states_[path].waiters.push_back(handle);
}

void StoreWriteQueue::unlock(const QString& path)
{
    auto it = states_.find(path);
    if (it == states_.end())
        return;
    if (it->waiters.empty()) {
        states_.erase(it);
        return;
    }
    // The lock passes straight to the next writer, resumed from the event loop rather than from
    // inside the finishing writer's stack.
    const std::coroutine_handle<> next = it->waiters.front();
    it->waiters.pop_front();
    QTimer::singleShot(0, [next] { next.resume(); });
}

std::function<void(const QString&)> KitEnvironment::standardOutput()
{
    return [](const QString& line) {
        std::fputs(line.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
}

} // namespace quorvel::kit
