// The real executable: every reason a module cannot run is printed and ends the process non-zero;
// SIGTERM tears the settings pane down in order and withdraws its declaration.
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

void startSaver(QProcess& saver, const QStringList& arguments, const QString& saverWindow, const QString& runtime = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.remove("XSCREENSAVER_WINDOW");
    if (!saverWindow.isEmpty())
        environment.insert("XSCREENSAVER_WINDOW", saverWindow);
    if (!runtime.isEmpty())
        environment.insert("XDG_RUNTIME_DIR", runtime);
    saver.setProcessEnvironment(environment);
    saver.start(QString::fromUtf8(QUORVEL_SAVER), arguments);
}

// NAME.appex whose Info.plist names MacOS/libtest.so, a copy of `library` when one is given.
QString makeBundle(const QTemporaryDir& dir, const QString& name, const QString& library)
{
    const QString bundle = dir.filePath(name + ".appex");
    QDir().mkpath(bundle + "/Contents/MacOS");
    QFile::copy(library, bundle + "/Contents/MacOS/libtest.so");
    quorvel::testing::writeFile(bundle + "/Contents/Info.plist",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>QuorvelPlugInLibrary</key>"
        "<string>MacOS/libtest.so</string></dict></plist>");
    return bundle;
}

TEST(SaverProcess, PrintsWhyItCannotRunAndExitsNonZero)
{
    QTemporaryDir dir;
    const QString empty = makeBundle(dir, "Empty", {});
    const struct {
        const char* name;
        QStringList arguments;
        QString saverWindow;
        int exitCode;
        const char* printed;
    } rows[] = {
        { "no module selected", {}, {}, 1, "quorvel-saver: no screensaver module is selected" },
        { "no such bundle", { "--bundle", dir.filePath("Gone.appex") }, {}, 1, "quorvel-saver: no such bundle" },
        { "not a module", { "--bundle", empty, "--preview" }, {}, 1, "quorvel-saver: not a Quorvel module" },
        { "bad option", { "--window-id", "nope" }, {}, 64, "Usage: quorvel-saver" },
        { "bad daemon variable", {}, "not-a-window", 64, "XSCREENSAVER_WINDOW" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QProcess saver;
        startSaver(saver, row.arguments, row.saverWindow);
        ASSERT_TRUE(saver.waitForFinished(20000));
        const QString errors = QString::fromUtf8(saver.readAllStandardError());
        EXPECT_EQ(saver.exitStatus() == QProcess::NormalExit ? saver.exitCode() : -1, row.exitCode)
            << errors.toStdString();
        EXPECT_TRUE(errors.contains(QString::fromUtf8(row.printed))) << errors.toStdString();
    }
}

TEST(SaverProcess, TerminationTearsDownInOrderAndWithdrawsTheDeclaration)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("runtime"));
    QFile::setPermissions(dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess saver;
    startSaver(
        saver, { "--bundle", makeBundle(dir, "Test", HOST_TEST_MODULE), "--settings" }, {}, dir.filePath("runtime"));
    QByteArray errors;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            saver.waitForReadyRead(50);
            errors += saver.readAllStandardError();
            return errors.contains("started") || saver.state() == QProcess::NotRunning;
        },
        15000));
    ASSERT_EQ(saver.state(), QProcess::Running) << errors.toStdString();
    EXPECT_EQ(QDir(dir.filePath("runtime/quorvel")).entryList(QDir::Files).size(), 1) << "declared while open";
    saver.terminate();
    ASSERT_TRUE(saver.waitForFinished(15000));
    errors += saver.readAllStandardError();
    EXPECT_EQ(saver.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(saver.exitCode(), 0);
    EXPECT_TRUE(errors.contains("session stopped")) << errors.toStdString();
    EXPECT_TRUE(QDir(dir.filePath("runtime/quorvel")).entryList(QDir::Files).isEmpty()) << "nothing left declared";
}

} // namespace
