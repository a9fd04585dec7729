// flock(2) on the lock file: a few system calls, no write and no sync, so taking the lock costs
// next to nothing beside the edit it guards.
#include "platform/file_lock.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {

QString systemError(const QString& path, int error)
{
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

FileLock::FileLock(QString path)
    : path_(std::move(path))
{
}

FileLock::~FileLock()
{
    unlock();
}

FileLock::Result FileLock::tryLock()
{
    if (isLocked())
        return Result::acquired;
    error_.clear();
    const QByteArray name = QFile::encodeName(path_);
    // A holder removes the file before letting go, so the file this opened may be gone (or replaced
    // by a newer holder's) by the time its lock is granted: then the lock is on nothing and the
    // attempt starts over on the file that is there now.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            error_ = systemError(path_, errno);
            return Result::failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK || error == EINTR)
                return Result::busy;
            error_ = systemError(path_, error);
            return Result::failed;
        }
        struct stat held {
        }, current {};
        if (::fstat(fd, &held) == 0 && ::stat(name.constData(), &current) == 0 && held.st_dev == current.st_dev
            && held.st_ino == current.st_ino) {
            handle_ = fd;
            return Result::acquired;
        }
        ::close(fd);
    }
    // Holders coming and going faster than this can look: as good as held.
    return Result::busy;
}

FileLock::Result FileLock::lock(std::chrono::milliseconds timeout)
{
    auto pause = std::chrono::milliseconds(1);
    auto waited = std::chrono::milliseconds(0);
    for (;;) {
        const Result result = tryLock();
        if (result != Result::busy || waited >= timeout)
            return result;
        const auto step = std::min(pause, timeout - waited);
        QThread::msleep(static_cast<unsigned long>(step.count()));
        waited += step;
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

void FileLock::unlock()
{
    if (!isLocked())
        return;
    // Removed while still held, so nobody can lock this file after it is gone from the folder.
    ::unlink(QFile::encodeName(path_).constData());
    ::close(handle_);
    handle_ = -1;
}

} // namespace quorvel::platform
