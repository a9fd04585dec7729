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
using namespace Qt::StringLiterals;
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
    return run(u"/bin/sh"_s, { u"-c"_s, script }, timeout);
}

TEST(QProcessRunner, ReadsMegabytesOfMergedOutputWithoutDeadlock)
{
    const ProcessResult result
        = runShell(u"head -c 5000000 /dev/zero; echo to-stderr >&2; head -c 1000 /dev/zero >&2"_s);
    ASSERT_TRUE(result.succeeded()) << result.errorText.toStdString();
    EXPECT_EQ(result.output.size(), 5000000 + 10 + 1000);
    EXPECT_TRUE(result.output.contains("to-stderr\n"));
}

TEST(QProcessRunner, KillsAHangingChildAndItsChildrenAtTheTimeoutWithoutBlockingTheEventLoop)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath(u"grandchild-survived"_s);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    QElapsedTimer elapsed;
    elapsed.start();
    // The grandchild would write the marker after a second unless the whole group is killed.
    const ProcessResult result = runShell(u"echo started; (sleep 1; touch '%1') & sleep 30"_s.arg(marker), 300ms);
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
    const ProcessResult missing = run(u"/nonexistent/quorvel-tool"_s, { u"list"_s }, 5s);
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.succeeded());
    EXPECT_FALSE(missing.errorText.isEmpty());
    // A bare name would be looked up on PATH, which a fixed tool path never wants.
    EXPECT_FALSE(run(u"sh"_s, { u"-c"_s, u"true"_s }, 5s).started);
    QProcessRunner runner;
    EXPECT_FALSE(runner.startDetached(u"/nonexistent/tool"_s, {}));
    EXPECT_FALSE(runner.startDetached(u"touch"_s, { u"/nonexistent/marker"_s }));

    const ProcessResult failing = runShell(u"echo nope; exit 3"_s);
    EXPECT_TRUE(failing.started);
    EXPECT_FALSE(failing.crashed);
    EXPECT_EQ(failing.exitCode, 3);
    EXPECT_EQ(failing.output, "nope\n");
    EXPECT_FALSE(failing.succeeded());

    const ProcessResult crashed = runShell(u"kill -SEGV $$"_s);
    EXPECT_TRUE(crashed.started);
    EXPECT_TRUE(crashed.crashed);
    EXPECT_FALSE(crashed.timedOut);
    EXPECT_FALSE(crashed.succeeded());
}

TEST(QProcessRunner, ArgumentsArriveVerbatimInputIsAtEndOfFileAndDetachedChildrenRun)
{
    const QStringList arguments = { u"-c"_s, u"printf '%s|' \"$@\""_s, u"sh"_s, u"a b"_s, u"$HOME"_s, u"; rm -rf /"_s };
    EXPECT_EQ(run(u"/bin/sh"_s, arguments, 5s).output, "a b|$HOME|; rm -rf /|");
    const ProcessResult cat = run(u"/bin/cat"_s, {}, 5s);
    EXPECT_TRUE(cat.succeeded());
    EXPECT_FALSE(cat.timedOut);

    QTemporaryDir dir;
    const QString marker = dir.filePath(u"ran"_s);
    ASSERT_TRUE(QProcessRunner().startDetached(u"/bin/sh"_s, { "-c", u"touch '%1'"_s.arg(marker) }));
    for (int i = 0; i < 200 && !QFile::exists(marker); ++i)
        QThread::msleep(10);
    EXPECT_TRUE(QFile::exists(marker));
}

} // namespace
