#pragma once
// An exclusive lock that cooperating processes take on a lock file ("<file>.lock" beside the file
// it guards). The lock file exists while someone holds it and is removed when they let go; one
// left by a holder that died is taken over at once, since the system frees a dead holder's lock.

#include <QString>

#include <chrono>

namespace quorvel::platform {

class FileLock {
public:
    enum class Result {
        acquired,
        busy, // another holder has it, in this process or another
        failed, // the lock file cannot be made or locked; errorString() says why
    };

    explicit FileLock(QString path);
    ~FileLock(); // releases a held lock
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // One attempt that never waits. Locking again while held gives `acquired`.
    Result tryLock();
    // Attempts until acquired, failed, or `timeout` has passed (then busy); sleeps between attempts.
    Result lock(std::chrono::milliseconds timeout);
    // Removes the lock file, then lets go; does nothing when not held.
    void unlock();

    bool isLocked() const { return handle_ >= 0; }
    const QString& path() const { return path_; }
    // Why the last attempt failed; empty after success or `busy`.
    const QString& errorString() const { return error_; }

private:
    QString path_;
    int handle_ = -1;
    QString error_;
};

} // namespace quorvel::platform
