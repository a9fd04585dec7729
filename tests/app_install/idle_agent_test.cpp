// The idle agent's login entry: written whole with the host's absolute path quoted so the desktop
// starts exactly that file, pointed at this copy's host after a move without undoing a user's
// "off", and every failure reported instead of passing for success.
#include "app/install/idle_agent.h"
#include "kit/kit_fixtures.h"
#include "platform/autostart.h"
#include "support/log_capture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quorvel::app {
namespace {

using platform::XdgAutostart;

class RefusingRunner final : public platform::ProcessRunner {
public:
    QCoro::Task<platform::ProcessResult> run(QString, QStringList, std::chrono::milliseconds) override
    {
        co_return platform::ProcessResult {};
    }
    bool startDetached(const QString&, const QStringList&) override { return false; }
};

struct IdleAgentTest : ::testing::Test {
    QString entryFile() const { return home.filePath(QStringLiteral("autostart/com.quorvel.Quorvel.Agent.desktop")); }
    QByteArray entryBytes() const
    {
        QFile file(entryFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void plant(const QByteArray& text)
    {
        QDir().mkpath(home.filePath(QStringLiteral("autostart")));
        QFile file(entryFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    QTemporaryDir home;
    XdgAutostart autostart { home.path() };
    kit::fixtures::ScriptedProcessRunner runner;
    quorvel::testing::LogCapture log;
};

TEST_F(IdleAgentTest, EnablingWritesTheEntryWholeWithTheHostQuotedAndStartsTheAgent)
{
    const QString plain = QStringLiteral("/home/ana/Applications/Quorvel.app/Contents/MacOS/quorvel-saver");
    IdleAgent(autostart, runner, plain).enable();
    EXPECT_EQ(entryBytes(),
        "[Desktop Entry]\nType=Application\nName=Quorvel Idle Agent\n"
        "Comment=Starts the Quorvel screensaver when the computer has been idle\n"
        "TryExec=/home/ana/Applications/Quorvel.app/Contents/MacOS/quorvel-saver\n"
        "Exec=\"/home/ana/Applications/Quorvel.app/Contents/MacOS/quorvel-saver\" \"--agent\"\n"
        "Terminal=false\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n");

    // Paths the desktop would otherwise split, expand or read as field codes.
    const QString awkward[] = {
        QStringLiteral("/home/ana b/My Apps/Quorvel.app/Contents/MacOS/quorvel-saver"),
        QStringLiteral("/tmp/it's \"$HOME\" `x` 100%f\\n/quorvel-saver"),
    };
    for (const QString& path : awkward) {
        SCOPED_TRACE(path.toStdString());
        runner.detached.clear();
        EXPECT_EQ(IdleAgent(autostart, runner, path).enable(), std::nullopt);
        const platform::AutostartState read = XdgAutostart::parse(entryBytes());
        EXPECT_EQ(read.program, path) << entryBytes().toStdString();
        EXPECT_TRUE(read.enabled);
        ASSERT_EQ(runner.detached.size(), 1u);
        EXPECT_EQ(runner.detached[0].program, path);
        EXPECT_EQ(runner.detached[0].arguments, QStringList { QStringLiteral("--agent") });
    }
    EXPECT_EQ(QDir(home.filePath(QStringLiteral("autostart"))).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("com.quorvel.Quorvel.Agent.desktop") })
        << "written through a temporary file that is gone once renamed";
}

TEST_F(IdleAgentTest, AtStartUpAnOlderCopysEntryStartsThisCopysHostAndNothingElseChanges)
{
    const QString host = QStringLiteral("/home/ana/Applications/Quorvel.app/Contents/MacOS/quorvel-saver");
    const QByteArray oldCopy = "[Desktop Entry]\nType=Application\nName=Quorvel Idle Agent\n"
                               "Exec=\"/home/ana/Downloads/Quorvel.app/Contents/MacOS/quorvel-saver\" --agent\n";
    const struct {
        const char* name;
        std::optional<QByteArray> before;
        bool rewritten;
        bool enabled;
    } rows[] = {
        { "no entry: enabling never happened, nothing is written", std::nullopt, false, true },
        { "this copy's entry is left byte for byte",
            "[Desktop Entry]\nType=Application\nExec=" + host.toUtf8() + " --agent\nX-Note=mine\n", false, true },
        { "an older copy's entry is pointed here", oldCopy, true, true },
        { "a user's off stays off", oldCopy + "X-GNOME-Autostart-enabled=false\n", true, false },
        { "hidden stays hidden", oldCopy + "Hidden=true\n", true, false },
        { "a broken Exec line is mended", "[Desktop Entry]\nExec=\"/unterminated --agent\n", true, true },
        { "keys of another group are not ours",
            "[Desktop Entry]\nExec=" + host.toUtf8() + " --agent\n[Desktop Action x]\nExec=/elsewhere\n", false, true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(entryFile());
        if (row.before)
            plant(*row.before);
        EXPECT_EQ(IdleAgent(autostart, runner, host).refreshEntry(), std::nullopt);
        if (!row.before) {
            EXPECT_FALSE(QFile::exists(entryFile()));
            continue;
        }
        if (!row.rewritten) {
            EXPECT_EQ(entryBytes(), *row.before);
            continue;
        }
        const platform::AutostartState read = XdgAutostart::parse(entryBytes());
        EXPECT_EQ(read.program, host);
        EXPECT_EQ(read.enabled, row.enabled);
    }
    EXPECT_TRUE(runner.detached.empty()) << "start-up only fixes the entry; the agent starts with the session";
}

TEST_F(IdleAgentTest, AnEntryThatCannotBeWrittenOrAnAgentThatDoesNotStartIsReported)
{
    const QString host = QStringLiteral("/opt/Quorvel.app/Contents/MacOS/quorvel-saver");
    // The entry's folder is taken by a file.
    QFile blocker(home.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString expected = QStringLiteral(
        "Couldn't add Quorvel's idle agent to the desktop's startup programs: Could not create the folder of %1.")
                                 .arg(entryFile());
    EXPECT_EQ(IdleAgent(autostart, runner, host).enable(), expected);
    EXPECT_TRUE(runner.detached.empty()) << "an agent without its entry would be gone after the next login";
    const QStringList lines = log.messages(QStringLiteral("com.quorvel.Quorvel.HostApp"));
    EXPECT_TRUE(lines.contains(expected));

    QFile::remove(blocker.fileName());
    RefusingRunner refusing;
    EXPECT_EQ(IdleAgent(autostart, refusing, host).enable(),
        QStringLiteral("Couldn't start Quorvel's idle agent /opt/Quorvel.app/Contents/MacOS/quorvel-saver."));
    EXPECT_TRUE(log.messages(QStringLiteral("com.quorvel.Quorvel.HostApp"))
                    .contains(QStringLiteral("Couldn't start Quorvel's idle agent %1.").arg(host)));
}

} // namespace
} // namespace quorvel::app
