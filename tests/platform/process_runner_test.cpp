#include "platform/process_runner.h"
#include "support/coro.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

namespace {

using namespace std::chrono_literals;
using quorvel::platform::ProcessResult;
using quorvel::platform::QProcessRunner;
using quorvel::testing::await;

ProcessResult run(const QString& program, const QStringList& arguments, std::chrono::milliseconds timeout = 20s)
{
    QProcessRunner runner;
    return await(runner.run(program, arguments, timeout));
}

ProcessResult runShell(const QString& script, std::chrono::milliseconds timeout = 20s)
{
    return run(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), script }, timeout);
}

TEST(QProcessRunner, ReadsMegabytesOfMergedOutputWithoutDeadlock)
{
    const ProcessResult result
        = runShell(QStringLiteral("head -c 5000000 /dev/zero; echo to-stderr >&2; head -c 1000 /dev/zero >&2"));
    ASSERT_TRUE(result.succeeded()) << result.errorText.toStdString();
    EXPECT_EQ(result.output.size(), 5000000 + 10 + 1000);
    EXPECT_TRUE(result.output.contains("to-stderr\n"));
}

TEST(QProcessRunner, KillsAHangingChildAndItsChildrenAtTheTimeoutWithoutBlockingTheEventLoop)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("grandchild-survived"));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    QElapsedTimer elapsed;
    elapsed.start();
    // The grandchild would write the marker after a second unless the whole group is killed.
    const ProcessResult result
        = runShell(QStringLiteral("echo started; (sleep 1; touch '%1') & sleep 30").arg(marker), 300ms);
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_GE(ticks, 5);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.succeeded());
    EXPECT_FALSE(result.errorText.isEmpty());
    EXPECT_EQ(result.output, "started\n"); // what arrived before the kill is kept
    QThread::msleep(1500);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(QProcessRunner, ReportsEveryWayAChildCanFail)
{
    const ProcessResult missing = run(QStringLiteral("/nonexistent/quorvel-tool"), { QStringLiteral("list") }, 5s);
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.succeeded());
    EXPECT_FALSE(missing.errorText.isEmpty());
    // A bare name would be looked up on PATH, which a fixed tool path never wants.
    EXPECT_FALSE(run(QStringLiteral("sh"), { QStringLiteral("-c"), QStringLiteral("true") }, 5s).started);
    QProcessRunner runner;
    EXPECT_FALSE(runner.startDetached(QStringLiteral("/nonexistent/tool"), {}));
    EXPECT_FALSE(runner.startDetached(QStringLiteral("touch"), { QStringLiteral("/nonexistent/marker") }));

    const ProcessResult failing = runShell(QStringLiteral("echo nope; exit 3"));
    EXPECT_TRUE(failing.started);
    EXPECT_FALSE(failing.crashed);
    EXPECT_EQ(failing.exitCode, 3);
    EXPECT_EQ(failing.output, "nope\n");
    EXPECT_FALSE(failing.succeeded());

    const ProcessResult crashed = runShell(QStringLiteral("kill -SEGV $$"));
    EXPECT_TRUE(crashed.started);
    EXPECT_TRUE(crashed.crashed);
    EXPECT_FALSE(crashed.timedOut);
    EXPECT_FALSE(crashed.succeeded());
}

TEST(QProcessRunner, ArgumentsArriveVerbatimInputIsAtEndOfFileAndDetachedChildrenRun)
{
    const QStringList arguments = { QStringLiteral("-c"), QStringLiteral("printf '%s|' \"$@\""), QStringLiteral("sh"),
        QStringLiteral("a b"), QStringLiteral("$HOME"), QStringLiteral("; rm -rf /") };
    EXPECT_EQ(run(QStringLiteral("/bin/sh"), arguments, 5s).output, "a b|$HOME|; rm -rf /|");
    const ProcessResult cat = run(QStringLiteral("/bin/cat"), {}, 5s);
    EXPECT_TRUE(cat.succeeded());
    EXPECT_FALSE(cat.timedOut);

    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("ran"));
    ASSERT_TRUE(
        QProcessRunner().startDetached(QStringLiteral("/bin/sh"), { "-c", QStringLiteral("touch '%1'").arg(marker) }));
    for (int i = 0; i < 200 && !QFile::exists(marker); ++i)
        QThread::msleep(10);
    EXPECT_TRUE(QFile::exists(marker));
}

} // namespace
