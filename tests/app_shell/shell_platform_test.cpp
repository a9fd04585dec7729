#include "platform/desktop_appearance.h"
#include "platform/desktop_entries.h"
#include "platform/file_manager.h"
#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

using quorvel::platform::LocalFileManager;

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

TEST(LocalFileManager, CopiesABundleWithLinksAndModesAndNeverOverAnotherOne)
{
    QTemporaryDir root;
    LocalFileManager files;
    write(root.filePath("A.app/Contents/MacOS/A"), "exe");
    QFile::setPermissions(root.filePath("A.app/Contents/MacOS/A"),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(QFile::link("MacOS/A", root.filePath("A.app/Contents/Link")));

    EXPECT_FALSE(files.copyItem(root.filePath("A.app"), root.filePath("B.app")));
    EXPECT_EQ(read(root.filePath("B.app/Contents/MacOS/A")), "exe");
    EXPECT_TRUE(QFileInfo(root.filePath("B.app/Contents/MacOS/A")).isExecutable());
    EXPECT_EQ(QFileInfo(root.filePath("B.app/Contents/Link")).symLinkTarget(), root.filePath("B.app/Contents/MacOS/A"))
        << "a link inside the bundle points inside the copy";

    write(root.filePath("A.app/Contents/MacOS/A"), "changed");
    EXPECT_TRUE(files.copyItem(root.filePath("A.app"), root.filePath("B.app")));
    EXPECT_EQ(read(root.filePath("B.app/Contents/MacOS/A")), "exe") << "a failed copy leaves the target alone";
    EXPECT_TRUE(files.copyItem(root.filePath("missing.app"), root.filePath("C.app")));
    EXPECT_FALSE(files.exists(root.filePath("C.app")));
}

TEST(LocalFileManager, ReplacesAWholeFolderInOneStep)
{
    QTemporaryDir root;
    LocalFileManager files;
    write(root.filePath("Apps/Q.app/old-only"), "old");
    write(root.filePath("Apps/Q.app/Contents/x"), "old");
    write(root.filePath("Apps/.stage.app/Contents/x"), "new");

    EXPECT_FALSE(files.replaceItem(root.filePath("Apps/Q.app"), root.filePath("Apps/.stage.app")));
    EXPECT_EQ(read(root.filePath("Apps/Q.app/Contents/x")), "new");
    EXPECT_FALSE(files.exists(root.filePath("Apps/Q.app/old-only"))) << "nothing of the old copy mixes in";
    EXPECT_EQ(read(root.filePath("Apps/.stage.app/old-only")), "old") << "the old copy is left for the caller";
    QStringList names = files.itemNames(root.filePath("Apps"));
    names.sort();
    EXPECT_EQ(names, (QStringList { ".stage.app", "Q.app" }));
    EXPECT_TRUE(files.itemNames(root.filePath("missing")).isEmpty());

    // Into an empty place it is a plain rename; a missing replacement changes nothing.
    write(root.filePath("Apps/.next.app/x"), "next");
    EXPECT_FALSE(files.replaceItem(root.filePath("Apps/R.app"), root.filePath("Apps/.next.app")));
    EXPECT_EQ(read(root.filePath("Apps/R.app/x")), "next");
    EXPECT_TRUE(files.replaceItem(root.filePath("Apps/R.app"), root.filePath("Apps/.gone.app")));
    EXPECT_EQ(read(root.filePath("Apps/R.app/x")), "next");
}

TEST(XdgDesktopEntries, WritesAnEntryTheLauncherCanStartAndItsIcon)
{
    QTemporaryDir root;
    write(root.filePath("icon.png"), "png bytes");
    quorvel::platform::XdgDesktopEntries entries(root.filePath("share"));
    quorvel::platform::DesktopEntry entry { "com.quorvel.Quorvel", "Quorvel", "Make wumbles",
        "/home/a b/Applications/Quorvel.app/Contents/MacOS/Quorvel", root.filePath("icon.png"), 256 };
    ASSERT_FALSE(entries.install(entry));

    const QString text = QString::fromUtf8(read(root.filePath("share/applications/com.quorvel.Quorvel.desktop")));
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nName=Quorvel\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/home/a b/Applications/Quorvel.app/Contents/MacOS/Quorvel\"\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("\nIcon=com.quorvel.Quorvel\n"));
    EXPECT_EQ(read(root.filePath("share/icons/hicolor/256x256/apps/com.quorvel.Quorvel.png")), "png bytes");

    // Writing again replaces rather than appends.
    ASSERT_FALSE(entries.install(entry));
    EXPECT_EQ(QString::fromUtf8(read(root.filePath("share/applications/com.quorvel.Quorvel.desktop"))), text);
}

TEST(XdgDesktopEntries, QuotesEveryCharacterThatWouldChangeTheCommand)
{
    const struct {
        const char* path;
        const char* exec;
    } rows[] = {
        { "/opt/Quorvel", "Exec=\"/opt/Quorvel\"" },
        { "/home/a\"b/Q", "Exec=\"/home/a\\\\\"b/Q\"" },
        { "/home/$HOME/Q", "Exec=\"/home/\\\\$HOME/Q\"" },
        { "/home/100%/Q", "Exec=\"/home/100%%/Q\"" },
        { "/home/back\\slash/Q", "Exec=\"/home/back\\\\\\\\slash/Q\"" },
        { "/home/`cmd`/Q", "Exec=\"/home/\\\\`cmd\\\\`/Q\"" },
    };
    for (const auto& row : rows) {
        quorvel::platform::DesktopEntry entry { "id", "Q", "", row.path, "", 256 };
        const QString text = QString::fromUtf8(quorvel::platform::XdgDesktopEntries::entryText(entry));
        EXPECT_TRUE(text.contains(QString("\n") + row.exec + "\n")) << row.path << "\n" << text.toStdString();
    }
}

TEST(XdgDesktopEntries, RefusesIdsThatLeaveTheFolder)
{
    QTemporaryDir root;
    quorvel::platform::XdgDesktopEntries entries(root.filePath("share"));
    for (const char* id : { "../evil", "", ".hidden", "a/b" })
        EXPECT_TRUE(entries.install({ id, "Q", "", "/q", "", 256 })) << id;
    EXPECT_FALSE(QFileInfo::exists(root.filePath("evil.desktop")));
}

TEST(SingleInstance, ALaterLaunchHandsOverToTheRunningOneUntilItLetsGo)
{
    QTemporaryDir runtime;
    quorvel::platform::LocalSocketSingleInstance first("com.quorvel.Test", runtime.path());
    ASSERT_EQ(first.claim(), quorvel::platform::SingleInstance::Claim::Primary);
    QSignalSpy raised(&first, &quorvel::platform::SingleInstance::activationRequested);

    quorvel::platform::LocalSocketSingleInstance second("com.quorvel.Test", runtime.path());
    EXPECT_EQ(second.claim(), quorvel::platform::SingleInstance::Claim::HandedOver);
    ASSERT_TRUE(raised.wait(5000));
    EXPECT_EQ(raised.size(), 1);

    // After a release (the move hands over to its new copy) the next launch becomes the primary.
    first.release();
    quorvel::platform::LocalSocketSingleInstance third("com.quorvel.Test", runtime.path());
    EXPECT_EQ(third.claim(), quorvel::platform::SingleInstance::Claim::Primary);
    EXPECT_FALSE(raised.wait(200));
}

TEST(SingleInstance, ALeftoverSocketFromACrashDoesNotBlockTheNextStart)
{
    QTemporaryDir runtime;
    write(runtime.filePath("com.quorvel.Test.socket"), "stale");
    quorvel::platform::LocalSocketSingleInstance instance("com.quorvel.Test", runtime.path());
    EXPECT_EQ(instance.claim(), quorvel::platform::SingleInstance::Claim::Primary);
}

TEST(PortalDesktopAppearance, ReadsThePortalsNumbers)
{
    using quorvel::platform::ColorScheme;
    using quorvel::platform::PortalDesktopAppearance;
    EXPECT_EQ(PortalDesktopAppearance::fromPortalValue(0), ColorScheme::noPreference);
    EXPECT_EQ(PortalDesktopAppearance::fromPortalValue(1), ColorScheme::dark);
    EXPECT_EQ(PortalDesktopAppearance::fromPortalValue(2), ColorScheme::light);
    EXPECT_EQ(PortalDesktopAppearance::fromPortalValue(7), ColorScheme::noPreference);
}

} // namespace
