// The desktop daemon's program list: our entry goes in once, first, with every other entry and
// setting of the user's file kept byte for byte, and a failed write leaves the file as it was.
#include "platform/screensaver_daemon.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using quorvel::platform::DaemonEntryResult;
using quorvel::platform::XResourceScreensaverDaemon;
namespace detail = quorvel::platform::detail;

const QByteArray kSaver = "/opt/quorvel/bin/quorvel-saver";
const QByteArray kEntry = "\"Quorvel\"  /opt/quorvel/bin/quorvel-saver";

// A file as the daemon's own settings tool writes it.
const QByteArray kUsersFile = "# settings file\n"
                              "timeout:\t0:10:00\n"
                              "mode:\t\trandom\n"
                              "programs:\t\t\t\t\t\t\t      \\\n"
                              "\t\t\t\tmaze -root\t\t\t\t    \\n\\\n"
                              "-\t\"Qix (solid)\" \tqix -root -solid\t\t    \\n\\\n"
                              "  GL:\t\t\t\tgears -root\t\t\t    \\n\\\n"
                              "\n\n"
                              "pointerPollTime:  0:00:05\n";

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TEST(DaemonEntry, GoesFirstIntoTheListAndKeepsEverythingElse)
{
    const struct {
        const char* name;
        QByteArray before;
        QByteArray after;
    } rows[] = {
        { "the settings tool's layout", kUsersFile,
            "# settings file\ntimeout:\t0:10:00\nmode:\t\trandom\n"
            "programs:\t\\\n\t\t"
                + kEntry
                + " \\n\\\n"
                  "\t\t\t\tmaze -root\t\t\t\t    \\n\\\n"
                  "-\t\"Qix (solid)\" \tqix -root -solid\t\t    \\n\\\n"
                  "  GL:\t\t\t\tgears -root\t\t\t    \\n\\\n\n\npointerPollTime:  0:00:05\n" },
        { "first entry on the header line", "programs: maze -root \\n\\\n  qix -root \\n\nmode: one\n",
            "programs:\t\\\n\t\t" + kEntry + " \\n\\\n\t\tmaze -root \\n\\\n  qix -root \\n\nmode: one\n" },
        { "an empty list", "programs:\nmode: one\n", "programs:\t\\\n\t\t" + kEntry + " \\n\nmode: one\n" },
        { "a class-qualified resource", "*programs: maze -root\n",
            "*programs:\t\\\n\t\t" + kEntry + " \\n\\\n\t\tmaze -root\n" },
        { "no list yet", "mode: one", "mode: one\nprograms:\t\\\n\t\t" + kEntry + " \\n\n" },
        { "an empty file", "", "programs:\t\\\n\t\t" + kEntry + " \\n\n" },
        { "a longer path that only begins like ours", "programs: /opt/quorvel/bin/quorvel-saver-old \\n\n",
            "programs:\t\\\n\t\t" + kEntry + " \\n\\\n\t\t/opt/quorvel/bin/quorvel-saver-old \\n\n" },
        { "listed already", "programs: \\\n  \"Quorvel\"  /opt/quorvel/bin/quorvel-saver \\n\\\n  maze -root \\n\n",
            "programs: \\\n  \"Quorvel\"  /opt/quorvel/bin/quorvel-saver \\n\\\n  maze -root \\n\n" },
        { "listed last, at the end of its line", "programs: maze \\n\\\n  /opt/quorvel/bin/quorvel-saver\n",
            "programs: maze \\n\\\n  /opt/quorvel/bin/quorvel-saver\n" },
        { "listed but switched off is switched on",
            "programs: \\\n-  \"Quorvel\"  /opt/quorvel/bin/quorvel-saver \\n\\\n  maze -root \\n\n",
            "programs: \\\n   \"Quorvel\"  /opt/quorvel/bin/quorvel-saver \\n\\\n  maze -root \\n\n" },
        { "an escaped backslash ends the list", "programs: maze \\\\\n# /opt/quorvel/bin/quorvel-saver\n",
            "programs:\t\\\n\t\t" + kEntry + " \\n\\\n\t\tmaze \\\\\n# /opt/quorvel/bin/quorvel-saver\n" },
        { "switched off twice over is switched on once", "programs: \\\n--  /opt/quorvel/bin/quorvel-saver \\n\n",
            "programs: \\\n    /opt/quorvel/bin/quorvel-saver \\n\n" },
        { "named outside the list only", "# /opt/quorvel/bin/quorvel-saver\nprograms: maze\n",
            "# /opt/quorvel/bin/quorvel-saver\nprograms:\t\\\n\t\t" + kEntry + " \\n\\\n\t\tmaze\n" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QByteArray once = detail::withSaverEntry(row.before, kEntry, kSaver);
        EXPECT_EQ(once, row.after);
        EXPECT_EQ(detail::withSaverEntry(once, kEntry, kSaver), once) << "a second run changes nothing";
    }
}

TEST(DaemonEntry, PathsAreQuotedForTheShellOrRefused)
{
    EXPECT_EQ(detail::saverProgramEntry(QString::fromUtf8(kSaver)), kEntry);
    EXPECT_EQ(detail::saverProgramEntry(QStringLiteral("/home/a b/it's/quorvel-saver")),
        QByteArray("\"Quorvel\"  '/home/a b/it'\"'\"'s/quorvel-saver'"));
    EXPECT_EQ(detail::saverProgramEntry(QStringLiteral("/opt/$(reboot)/quorvel-saver")),
        QByteArray("\"Quorvel\"  '/opt/$(reboot)/quorvel-saver'"));
    for (const char* refused : { "/opt/a\\b/quorvel-saver", "/opt/a\nb/quorvel-saver", "" })
        EXPECT_EQ(detail::saverProgramEntry(QString::fromUtf8(refused)), std::nullopt) << refused;
}

class DaemonFile : public ::testing::Test {
protected:
    QString path(const char* name = ".xscreensaver") const { return dir.filePath(QString::fromUtf8(name)); }
    XResourceScreensaverDaemon daemon(const QString& file) const
    {
        return XResourceScreensaverDaemon(file, QString::fromUtf8(kSaver));
    }
    QTemporaryDir dir;
};

TEST_F(DaemonFile, WritesOnceKeepingPermissionsAndReportsTheSecondTimeAsListed)
{
    write(path(), kUsersFile);
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
    auto d = daemon(path());
    EXPECT_EQ(d.addSaverEntry().outcome, DaemonEntryResult::Outcome::added);
    const QByteArray written = read(path());
    EXPECT_TRUE(written.contains(kEntry));
    EXPECT_TRUE(written.contains("pointerPollTime:  0:00:05\n"));
    // A private file stays private.
    EXPECT_EQ(QFile::permissions(path()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    EXPECT_EQ(d.addSaverEntry().outcome, DaemonEntryResult::Outcome::alreadyListed);
    EXPECT_EQ(read(path()), written);
    // Nothing but the file itself is left in its folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { ".xscreensaver" });
}

TEST_F(DaemonFile, AMissingFileIsCreatedWithOurListOnly)
{
    auto d = daemon(path());
    EXPECT_EQ(d.addSaverEntry().outcome, DaemonEntryResult::Outcome::added);
    EXPECT_EQ(read(path()), "programs:\t\\\n\t\t" + kEntry + " \\n\n");
}

TEST_F(DaemonFile, ALinkedFileIsEditedWhereItLives)
{
    QDir().mkpath(dir.filePath("dotfiles"));
    write(dir.filePath("dotfiles/xscreensaver"), "programs: maze\n");
    ASSERT_TRUE(QFile::link(dir.filePath("dotfiles/xscreensaver"), path()));
    auto d = daemon(path());
    EXPECT_EQ(d.addSaverEntry().outcome, DaemonEntryResult::Outcome::added);
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_TRUE(read(dir.filePath("dotfiles/xscreensaver")).contains(kEntry));

    QFile::remove(dir.filePath("dotfiles/xscreensaver"));
    const DaemonEntryResult dangling = d.addSaverEntry();
    EXPECT_EQ(dangling.outcome, DaemonEntryResult::Outcome::failed);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("dotfiles/xscreensaver")));
}

TEST_F(DaemonFile, AFailedWriteLeavesTheFileAsItWas)
{
    // The folder the file would go into is a file: nothing can be written there.
    write(path("blocked"), "not a folder");
    auto blocked = daemon(path("blocked") + "/.xscreensaver");
    const DaemonEntryResult result = blocked.addSaverEntry();
    EXPECT_EQ(result.outcome, DaemonEntryResult::Outcome::failed);
    EXPECT_FALSE(result.reason.isEmpty());
    EXPECT_EQ(read(path("blocked")), "not a folder");

    // A folder where the file should be is not read as settings, nor replaced.
    QDir().mkpath(path());
    EXPECT_EQ(daemon(path()).addSaverEntry().outcome, DaemonEntryResult::Outcome::failed);
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

TEST(DaemonName, IsShownRelativeToTheHome)
{
    const XResourceScreensaverDaemon d(QDir::homePath() + "/.xscreensaver", QString::fromUtf8(kSaver));
    EXPECT_EQ(d.configurationName(), QStringLiteral("~/.xscreensaver"));
}

} // namespace
