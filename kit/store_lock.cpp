#include "kit/store_lock.h"

#include "kit/errors.h"
#include "kit/kit_environment.h"
#include "platform/clock.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace quorvel::kit {

bool StoreWriteQueue::Awaiter::await_ready()
{
    return queue->tryLock(path);
}

void StoreWriteQueue::Awaiter::await_suspend(std::coroutine_handle<> handle)
{
    queue->states_[path].waiters.push_back(handle);
}

bool StoreWriteQueue::tryLock(const QString& path)
{
    State& state = states_[path];
    if (state.busy)
        return false;
    state.busy = true;
    return true;
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

StoreLock::StoreLock(std::shared_ptr<KitEnvironment> env, QString storePath)
    : env_(std::move(env))
    , storePath_(std::move(storePath))
{
}

StoreLock::~StoreLock()
{
    if (file_)
        file_->unlock();
    if (queued_)
        env_->writeQueue->unlock(storePath_);
}

void StoreLock::prepareLockFile()
{
    const QString lock = lockPath(storePath_);
    if (!QDir().mkpath(QFileInfo(lock).absolutePath()))
        throw TessaryError::permissionDenied(lock);
    file_ = std::make_unique<platform::FileLock>(lock);
}

void StoreLock::failLocked(platform::FileLock::Result result) const
{
    if (result == platform::FileLock::Result::failed)
        throw TessaryError::permissionDenied(lockPath(storePath_));
    throw TessaryError::plistWriteError(storePath_ + QStringLiteral(": another program is changing it"));
}

void StoreLock::afterLocked()
{
    PlistManager::removeStaleTemporaries(storePath_);
}

QCoro::Task<std::unique_ptr<StoreLock>> StoreLock::acquire(std::shared_ptr<KitEnvironment> env, QString storePath)
{
    std::unique_ptr<StoreLock> lock(new StoreLock(env, storePath));
    co_await env->writeQueue->lock(storePath);
    lock->queued_ = true;
    lock->prepareLockFile();
    const auto poll = std::max(env->storeLockPoll, std::chrono::milliseconds(1));
    for (auto waited = std::chrono::milliseconds(0);; waited += poll) {
        const auto result = lock->file_->tryLock();
        if (result == platform::FileLock::Result::acquired)
            break;
        if (result == platform::FileLock::Result::failed || waited >= env->storeLockTimeout)
            lock->failLocked(result);
        co_await env->sleeper->sleep(poll);
    }
    lock->afterLocked();
    co_return lock;
}

std::unique_ptr<StoreLock> StoreLock::acquireBlocking(std::shared_ptr<KitEnvironment> env, QString storePath)
{
    std::unique_ptr<StoreLock> lock(new StoreLock(env, storePath));
    // Waiting here for an edit of this process would block the very event loop it needs to finish.
    if (!env->writeQueue->tryLock(storePath))
        throw TessaryError::plistWriteError(storePath + QStringLiteral(": another change is in progress"));
    lock->queued_ = true;
    lock->prepareLockFile();
    const auto result = lock->file_->lock(env->storeLockTimeout);
    if (result != platform::FileLock::Result::acquired)
        lock->failLocked(result);
    lock->afterLocked();
    return lock;
}

} // namespace quorvel::kit
