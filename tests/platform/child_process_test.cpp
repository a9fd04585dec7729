// A long-running child's end is reported as it happened (an exit status, or a crash), a program
// that is not an absolute path never starts, and destroying the handle ends a child still running.
#include "platform/child_process.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include <csignal>
#include <optional>

using quorvel::platform::ChildEnd;
using quorvel::platform::makeChildProcess;

namespace {

TEST(ChildProcess, ReportsHowTheChildEnded)
{
    const struct {
        const char* name;
        const char* script;
        bool crashed;
        int exitCode;
    } rows[] = {
        { "a clean exit", "exit 0", false, 0 },
        { "an exit status", "exit 3", false, 3 },
        { "a crash", "kill -SEGV $$", true, 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto child = makeChildProcess();
        std::optional<ChildEnd> end;
        QObject::connect(child.get(), &quorvel::platform::ChildProcess::finished, [&](ChildEnd e) { end = e; });
        ASSERT_TRUE(child->start("/bin/sh", { "-c", row.script })) << child->startError().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return end.has_value(); }, 5000));
        EXPECT_EQ(end->crashed, row.crashed);
        EXPECT_EQ(end->exitCode, row.exitCode);
        EXPECT_EQ(end->succeeded(), !row.crashed && row.exitCode == 0);
        EXPECT_FALSE(child->isRunning());
    }
}

TEST(ChildProcess, RefusesARelativeProgramAndEndsARunningChildWhenDestroyed)
{
    auto child = makeChildProcess();
    EXPECT_FALSE(child->start("sh", { "-c", "exit 0" }));
    EXPECT_EQ(child->startError(), "Refusing to start \"sh\": not an absolute path.");

    ASSERT_TRUE(child->start("/bin/sleep", { "30" }));
    EXPECT_FALSE(child->start("/bin/sleep", { "30" })) << "one child at a time";
    QElapsedTimer timer;
    timer.start();
    child.reset();
    EXPECT_LT(timer.elapsed(), 3000) << "SIGTERM ends it; no wait for the 30 seconds";
}

} // namespace
