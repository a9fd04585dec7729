// The lock file that cooperating programs take turns on: who may hold it, what is on disk while
// they do, and that holders coming and going never overlap.
#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using quorvel::platform::FileLock;
using Result = FileLock::Result;

struct FileLockTest : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Index.plist.lock"));
};

TEST_F(FileLockTest, ASecondHolderWaitsUntilTheFirstLetsGo)
{
    FileLock first(path), second(path);
    ASSERT_EQ(first.tryLock(), Result::acquired);
    EXPECT_EQ(first.tryLock(), Result::acquired); // again by the holder itself
    EXPECT_EQ(second.tryLock(), Result::busy);
    EXPECT_TRUE(second.errorString().isEmpty());
    EXPECT_FALSE(second.isLocked());
    first.unlock();
    EXPECT_EQ(second.tryLock(), Result::acquired);
}

// Programs that only look for the file (or take it with Qt's lock file) see it while it is held,
// and not after.
TEST_F(FileLockTest, TheFileExistsExactlyWhileHeldAndQtLockFilesRespectIt)
{
    {
        FileLock lock(path);
        EXPECT_FALSE(QFile::exists(path));
        ASSERT_EQ(lock.tryLock(), Result::acquired);
        EXPECT_TRUE(QFile::exists(path));
        QLockFile other(path);
        other.setStaleLockTime(0);
        EXPECT_FALSE(other.tryLock(0));
    }
    EXPECT_FALSE(QFile::exists(path)); // the destructor let go
    QLockFile held(path);
    ASSERT_TRUE(held.tryLock(0));
    FileLock lock(path);
    EXPECT_EQ(lock.tryLock(), Result::busy);
    held.unlock();
    EXPECT_EQ(lock.tryLock(), Result::acquired);
}

// A holder killed while holding leaves the file behind but not the lock: the next one takes it.
TEST_F(FileLockTest, AFileLeftByADeadHolderIsTakenOverAtOnce)
{
    QFile left(path);
    ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    left.write("12345\n");
    left.close();
    FileLock lock(path);
    EXPECT_EQ(lock.lock(0ms), Result::acquired);
}

TEST_F(FileLockTest, ALockFileThatCannotBeMadeFailsWithTheReason)
{
    const struct {
        const char* name;
        QString path;
    } cases[] = {
        { "missing folder", dir.filePath(QStringLiteral("missing/Index.plist.lock")) },
        { "a folder in its place", dir.path() },
    };
    for (const auto& c : cases) {
        FileLock lock(c.path);
        EXPECT_EQ(lock.tryLock(), Result::failed) << c.name;
        EXPECT_EQ(lock.lock(1s), Result::failed) << c.name; // no waiting on a lock that can never be had
        EXPECT_TRUE(lock.errorString().startsWith(c.path + QStringLiteral(": "))) << lock.errorString().toStdString();
        EXPECT_FALSE(lock.isLocked()) << c.name;
    }
}

TEST_F(FileLockTest, WaitingGivesUpAfterTheTimeoutAndSucceedsWhenReleasedMeanwhile)
{
    FileLock holder(path), waiter(path);
    ASSERT_EQ(holder.tryLock(), Result::acquired);
    EXPECT_EQ(waiter.lock(30ms), Result::busy);
    std::thread release([&] {
        std::this_thread::sleep_for(20ms);
        holder.unlock();
    });
    EXPECT_EQ(waiter.lock(5s), Result::acquired);
    release.join();
}

// A holder removes the file and then lets go; one who opened the old file just before gets a lock
// on a file nobody else sees, and must not count it. Threads with their own locks hammer one path
// and check that never two are inside at once.
TEST_F(FileLockTest, HoldersComingAndGoingNeverOverlap)
{
    std::atomic<int> inside { 0 };
    std::atomic<bool> overlapped { false };
    std::atomic<int> turns { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 3000; ++i) {
                FileLock lock(path);
                if (lock.lock(10s) != Result::acquired)
                    return;
                if (inside.fetch_add(1) != 0)
                    overlapped = true;
                std::this_thread::yield();
                inside.fetch_sub(1);
                ++turns;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(turns.load(), 8 * 3000);
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
