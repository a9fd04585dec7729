// The real executable: every reason a module cannot run is printed and ends the process non-zero.
#include "host/module_loader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Outcome {
    int exitCode = -1;
    QString errors;
};

Outcome runSaver(const QStringList& arguments, const QString& saverWindow = {})
{
    QProcess saver;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    if (saverWindow.isEmpty())
        environment.remove("XSCREENSAVER_WINDOW");
    else
        environment.insert("XSCREENSAVER_WINDOW", saverWindow);
    saver.setProcessEnvironment(environment);
    saver.start(QString::fromUtf8(QUORVEL_SAVER), arguments);
    if (!saver.waitForFinished(20000)) {
        saver.kill();
        saver.waitForFinished();
        return {};
    }
    return { saver.exitStatus() == QProcess::NormalExit ? saver.exitCode() : -1,
        QString::fromUtf8(saver.readAllStandardError()) };
}

TEST(SaverProcess, PrintsWhyItCannotRunAndExitsNonZero)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("Empty.appex/Contents"));
    QFile info(dir.filePath("Empty.appex/Contents/Info.plist"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict></dict></plist>");
    info.close();
    const struct {
        const char* name;
        QStringList arguments;
        QString saverWindow;
        int exitCode;
        const char* printed;
    } rows[] = {
        { "no module selected", {}, {}, 1, "quorvel-saver: no screensaver module is selected" },
        { "no such bundle", { "--bundle", dir.filePath("Gone.appex") }, {}, 1, "quorvel-saver: no such bundle" },
        { "not a module", { "--bundle", dir.filePath("Empty.appex"), "--preview" }, {}, 1,
            "quorvel-saver: not a Quorvel module" },
        { "bad option", { "--window-id", "nope" }, {}, 64, "Usage: quorvel-saver" },
        { "bad daemon variable", {}, "not-a-window", 64, "XSCREENSAVER_WINDOW" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = runSaver(row.arguments, row.saverWindow);
        EXPECT_EQ(outcome.exitCode, row.exitCode) << outcome.errors.toStdString();
        EXPECT_TRUE(outcome.errors.contains(QString::fromUtf8(row.printed))) << outcome.errors.toStdString();
    }
}

// A bundle around the small test module, as the extension's bundle is laid out.
QString makeTestBundle(const QTemporaryDir& dir)
{
    const QString bundle = dir.filePath("Test.appex");
    QDir().mkpath(bundle + "/Contents/MacOS");
    QFile::copy(QString::fromUtf8(HOST_TEST_MODULE), bundle + "/Contents/MacOS/libtest.so");
    QFile info(bundle + "/Contents/Info.plist");
    if (info.open(QIODevice::WriteOnly))
        info.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>QuorvelPlugInLibrary</key>"
                   "<string>MacOS/libtest.so</string></dict></plist>");
    return bundle;
}

TEST(SaverProcess, TerminationTearsDownInOrderAndWithdrawsTheDeclaration)
{
    QTemporaryDir dir;
    const QString bundle = makeTestBundle(dir);
    QDir().mkpath(dir.filePath("runtime"));
    QFile::setPermissions(dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const char* mode : { "--preview", "--settings" }) {
        SCOPED_TRACE(mode);
        QProcess saver;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", dir.filePath("runtime"));
        environment.remove("XSCREENSAVER_WINDOW");
        saver.setProcessEnvironment(environment);
        saver.start(QString::fromUtf8(QUORVEL_SAVER), { "--bundle", bundle, mode });
        QByteArray errors;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                saver.waitForReadyRead(50);
                errors += saver.readAllStandardError();
                return errors.contains("started") || saver.state() == QProcess::NotRunning;
            },
            15000))
            << errors.toStdString();
        ASSERT_EQ(saver.state(), QProcess::Running) << errors.toStdString();
        if (QByteArray(mode) == "--settings") {
            EXPECT_EQ(QDir(dir.filePath("runtime/quorvel")).entryList(QDir::Files).size(), 1) << "declared while open";
        }
        saver.terminate();
        ASSERT_TRUE(saver.waitForFinished(15000));
        errors += saver.readAllStandardError();
        EXPECT_EQ(saver.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(saver.exitCode(), 0);
        EXPECT_TRUE(errors.contains("session stopped")) << errors.toStdString();
        EXPECT_TRUE(QDir(dir.filePath("runtime/quorvel")).entryList(QDir::Files).isEmpty()) << "nothing left declared";
    }
}

} // namespace
