#pragma once
// One edit of the wallpaper store at a time: within a process a queue per store path (a waiting
// writer suspends, the event loop runs on), across processes and facades the lock file
// "<store>.lock" beside the store. Holding both, the holder also clears temporary files that a
// killed writer left behind, since no live writer of ours can be between its write and its rename.

#include "platform/file_lock.h"

#include <QCoroTask>
#include <QHash>
#include <QString>

#include <coroutine>
#include <deque>
#include <memory>

namespace quorvel::kit {

struct KitEnvironment;

// Serialises the writers of one process per store path.
class StoreWriteQueue {
public:
    struct Awaiter {
        StoreWriteQueue* queue;
        QString path;
        bool await_ready();
        void await_suspend(std::coroutine_handle<> handle);
        void await_resume() { }
    };
    // co_await lock(path); then unlock(path) exactly once.
    Awaiter lock(const QString& path) { return { this, path }; }
    // Takes the path only when nobody holds it; false otherwise.
    bool tryLock(const QString& path);
    void unlock(const QString& path);

private:
    struct State {
        bool busy = false;
        std::deque<std::coroutine_handle<>> waiters;
    };
    QHash<QString, State> states_;
};

class StoreLock {
public:
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // Waits without blocking the event loop, polling the lock file with the kit's sleeper. Throws
    // TessaryError: permissionDenied (the lock path) when the lock file cannot be made,
    // plistWriteError "<store>: …" when another program keeps the store locked beyond the timeout.
    static QCoro::Task<std::unique_ptr<StoreLock>> acquire(std::shared_ptr<KitEnvironment> env, QString storePath);
    // For synchronous callers: fails at once when this process is already editing the store, and
    // otherwise blocks up to the timeout for another program's lock.
    static std::unique_ptr<StoreLock> acquireBlocking(std::shared_ptr<KitEnvironment> env, QString storePath);

    static QString lockPath(const QString& storePath) { return storePath + QStringLiteral(".lock"); }

private:
    StoreLock(std::shared_ptr<KitEnvironment> env, QString storePath);
    // Creates the store's folder and the lock file object; throws permissionDenied on failure.
    void prepareLockFile();
    // Throws for an attempt that did not acquire: permissionDenied when the lock file cannot be
    // made or locked, plistWriteError when another holder keeps it.
    void failLocked(platform::FileLock::Result result) const;
    void afterLocked();

    std::shared_ptr<KitEnvironment> env_;
    QString storePath_;
    bool queued_ = false;
    std::unique_ptr<platform::FileLock> file_;
};

} // namespace quorvel::kit
