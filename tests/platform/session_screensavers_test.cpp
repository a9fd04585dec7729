#include "platform/session_screensavers.h"
#include "support/environment_guard.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

using namespace quorvel::platform;

// The daemon is recognised by its program name, which the kernel's 15-character command name
// would cut ("mate-screensave"); and only a daemon of this display runs this session.
TEST(ProcessSessionScreensavers, FindsTheDaemonOfThisDisplayByItsFullProgramName)
{
    QTemporaryDir dir;
    const QString daemon = dir.filePath("mate-screensaver");
    ASSERT_TRUE(QFile::link("/bin/sleep", daemon));
    quorvel::testing::EnvironmentGuard display("DISPLAY");

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", ":4711.0");
    process.setProcessEnvironment(environment);
    process.start(daemon, { "30" });
    ASSERT_TRUE(process.waitForStarted());

    const ProcessSessionScreensavers screensavers;
    qputenv("DISPLAY", ":4711");
    const auto found = screensavers.runningDaemon();
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->kind, ScreensaverDaemonKind::mateScreensaver);
    EXPECT_EQ(found->pid, process.processId());

    qputenv("DISPLAY", ":4712");
    const auto elsewhere = screensavers.runningDaemon();
    EXPECT_FALSE(elsewhere.has_value() && elsewhere->pid == process.processId());

    process.kill();
    process.waitForFinished();
}

} // namespace
