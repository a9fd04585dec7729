// SIGTERM and friends arrive as a signal on the event loop instead of ending the process.
#include "platform/termination.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <csignal>

using quorvel::platform::TerminationWatcher;

namespace {

TEST(TerminationWatcher, DeliversEachSignalOnTheEventLoop)
{
    TerminationWatcher watcher;
    ASSERT_TRUE(watcher.isWatching());
    QSignalSpy requested(&watcher, &TerminationWatcher::terminationRequested);
    std::raise(SIGTERM);
    std::raise(SIGHUP);
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested.count() == 2; }, 2000));
    EXPECT_EQ(requested.at(0).at(0).toInt(), SIGTERM);
    EXPECT_EQ(requested.at(1).at(0).toInt(), SIGHUP);

    // Only one watcher owns the signals; a second one reports that it is not watching.
    TerminationWatcher second;
    EXPECT_FALSE(second.isWatching());
}

} // namespace
