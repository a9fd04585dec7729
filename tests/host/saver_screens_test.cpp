// The real host with the real extension on two screens: each view lands on its own screen, even
// when the screens share a name, and plays its feed on and on whichever window has the focus.
#include "extension/feed_model.h"
#include "extension_bundle_paths.h"

#include "support/files.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

using quorvel::testing::CannedReply;
using quorvel::testing::LoopbackHttpServer;
using quorvel::testing::readFile;
using quorvel::testing::renderTestClip;
using quorvel::testing::writeFile;

constexpr int kPlaysPerScreen = 3;

// Runs the saver on the two screens `display` gives it until each view has started a few clips.
void expectEachScreenPlays(const QProcessEnvironment& display)
{
    QTemporaryDir dir;
    ASSERT_TRUE(renderTestClip(dir.filePath("clip.mp4"), "0.4")) << "ffmpeg could not render the test clip";
    const QByteArray clip = readFile(dir.filePath("clip.mp4"));

    // The feed's clips are cached already, so they play from disk; the service has no clips.
    LoopbackHttpServer server;
    const QString cache = dir.filePath("cache/com.quorvel.Quorvel.Extension/videos");
    QJsonArray videos;
    for (const char* name : { "a.mp4", "b.mp4" }) {
        const QUrl url = server.url(QStringLiteral("/s/") + name);
        videos.append(QJsonObject { { "url", url.toString() }, { "author", "Test" } });
        writeFile(QDir(cache).filePath(quorvel::extension::cacheFileName(url)), clip);
    }
    const QByteArray feed = QJsonDocument(QJsonObject { { "videos", videos } }).toJson();
    writeFile(QDir(cache).filePath("last-good-feed.json"), feed);
    server.serve("/feed", CannedReply { 200, {}, feed });

    QProcessEnvironment environment = display;
    environment.insert("XDG_CACHE_HOME", dir.filePath("cache"));
    environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    environment.insert("QUORVEL_SERVICE_URL", server.url().toString());
    environment.remove("XSCREENSAVER_WINDOW");
    environment.remove("QT_MESSAGE_PATTERN");
    environment.insert("QT_LOGGING_RULES", "com.quorvel.Quorvel.View.debug=true");
    QProcess saver;
    saver.setProcessEnvironment(environment);
    saver.start(QString::fromUtf8(QUORVEL_SAVER), { "--bundle", QUORVEL_EXTENSION_BUNDLE_DIR });

    // Clips started per view, by the instance tag of its log lines.
    QByteArray errors;
    const auto playsPerView = [&] {
        QMap<QString, int> plays;
        const QRegularExpression started(QStringLiteral("\\[(\\w+)\\] clip \\d+: file:"));
        for (auto it = started.globalMatch(QString::fromUtf8(errors)); it.hasNext();)
            ++plays[it.next().captured(1)];
        return plays;
    };
    const auto everyViewPlayed = [&](int count) {
        const QMap<QString, int> plays = playsPerView();
        return plays.size() == 2 && std::all_of(plays.begin(), plays.end(), [&](int n) { return n >= count; });
    };
    (void)QTest::qWaitFor(
        [&] {
            errors += saver.readAllStandardError();
            return everyViewPlayed(kPlaysPerScreen) || saver.state() == QProcess::NotRunning;
        },
        30000);
    EXPECT_TRUE(everyViewPlayed(kPlaysPerScreen)) << errors.toStdString();
    EXPECT_TRUE(errors.contains("started on screen 1 of 2")) << errors.toStdString();
    EXPECT_TRUE(errors.contains("started on screen 2 of 2")) << errors.toStdString();
    EXPECT_FALSE(errors.contains("windowDidResignKey"));
    EXPECT_FALSE(errors.contains("item FAILED")) << errors.toStdString();
    EXPECT_EQ(server.requestsTo("/feed").size(), 2) << "one request per view";

    saver.terminate();
    ASSERT_TRUE(saver.waitForFinished(15000));
    errors += saver.readAllStandardError();
    EXPECT_EQ(saver.exitCode(), 0);
    EXPECT_TRUE(errors.contains("session stopped")) << errors.toStdString();
}

TEST(SaverScreens, EachOfTwoOffscreenScreensPlaysClipAfterClip)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("screens.json"),
        R"({"screens":[{"name":"Left","x":0,"y":0,"width":160,"height":90,"logicalDpi":96,"logicalBpi":96,"dpr":1},)"
        R"({"name":"Right","x":160,"y":0,"width":160,"height":90,"logicalDpi":96,"logicalBpi":96,"dpr":1}]})");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + dir.filePath("screens.json"));
    expectEachScreenPlays(environment);
}

// The screens of one X display share their name and their origin: only the screen itself tells
// them apart.
TEST(SaverScreens, EachScreenOfATwoScreenXDisplayPlaysClipAfterClip)
{
    QProcess xvfb;
    xvfb.start(
        "Xvfb", { "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "160x90x24", "-screen", "1", "160x90x24" });
    QByteArray number;
    while (!number.endsWith('\n') && xvfb.waitForReadyRead(10000))
        number += xvfb.readAllStandardOutput();
    if (number.trimmed().isEmpty())
        GTEST_SKIP() << "no virtual X server";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("DISPLAY", ":" + QString::fromLatin1(number.trimmed()));
    expectEachScreenPlays(environment);
    xvfb.terminate();
    xvfb.waitForFinished(5000);
}

} // namespace
