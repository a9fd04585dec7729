// The service under its other flags: product defaults, the clock-driven job, a failing renderer,
// a restart on the same data, and bytes that are not HTTP at all.
#include "service_fixture.h"

#include <QFile>
#include <QJsonArray>
#include <QTcpSocket>

using namespace quorvel::testing;

namespace {

QStringList productDefaults()
{
    return {};
}
QStringList failingRenderer()
{
    return { "--instant", "--ffmpeg", "/bin/false" };
}
QStringList missingRenderer()
{
    return { "--instant", "--ffmpeg", "/nonexistent/ffmpeg" };
}

using ServiceDefaultsTest = ServiceFixture<productDefaults>;
using ServiceFailingRenderTest = ServiceFixture<failingRenderer>;
using ServiceMissingRendererTest = ServiceFixture<missingRenderer>;

TEST_F(ServiceDefaultsTest, ANewMachineHasOneFreeLiteGeneration)
{
    EXPECT_EQ(credits(), 1);
    EXPECT_EQ(generate(recipe("fox", false)).status, 402) << "Standard costs more than the free credit";
    EXPECT_EQ(generate(recipe("fox", true), "").status, 200) << "without --min-build any build may generate";
    EXPECT_EQ(credits(), 0);
    EXPECT_FALSE(client->postJson("/debug-access", { { "machine", kDebugMachine }, { "token", kDebugToken } }, token)
                     .json()
                     .value("allowed")
                     .toBool(true))
        << "no developer pair is configured";
}

TEST_F(ServiceDefaultsTest, JobsMoveOnTheServiceClockAndAreNotDoneAtOnce)
{
    const HttpResult accepted = generate(recipe());
    const QString job = accepted.json().value("job").toString();
    ASSERT_FALSE(job.isEmpty()) << accepted.body.toStdString();
    const QJsonObject status = client->get("/jobs/" + job).json();
    EXPECT_FALSE(status.value("done").toBool(true));
    EXPECT_FALSE(status.value("ok").toBool(true));
    EXPECT_FALSE(status.contains("clip"));
    EXPECT_FALSE(status.value("log").toString().contains("animating...")) << "a few seconds must pass first";
}

TEST_F(ServiceFailingRenderTest, AFailedRenderEndsTheJobWithTheReasonAndRefunds)
{
    const QString job = generate(recipe()).json().value("job").toString();
    ASSERT_FALSE(job.isEmpty());
    const QJsonObject status = client->get("/jobs/" + job).json();
    EXPECT_TRUE(status.value("done").toBool());
    EXPECT_FALSE(status.value("ok").toBool(true));
    EXPECT_FALSE(status.contains("clip"));
    EXPECT_TRUE(status.value("log").toString().split('\n').last().startsWith("Rendering failed: the renderer exited"))
        << status.value("log").toString().toStdString();
    EXPECT_EQ(credits(), 1);
    EXPECT_TRUE(client->get("/history?user=" + machine, token).json().value("videos").toArray().isEmpty());
}

TEST_F(ServiceMissingRendererTest, ARendererThatCannotStartFailsTheJobInsteadOfHangingIt)
{
    const QString job = generate(recipe()).json().value("job").toString();
    ASSERT_FALSE(job.isEmpty());
    const QJsonObject status = client->get("/jobs/" + job).json();
    EXPECT_TRUE(status.value("done").toBool());
    EXPECT_FALSE(status.value("ok").toBool(true));
    EXPECT_EQ(
        status.value("log").toString().split('\n').last(), "Rendering failed: the renderer could not be started.");
    EXPECT_EQ(credits(), 1);
}

TEST(ServiceLifecycleTest, DataSurvivesARestart)
{
    ServiceProcess service;
    ASSERT_TRUE(service.start({ "--instant" })) << service.errorText().toStdString();
    HttpClient first(service.baseUrl());
    const QString token = first.enroll("RESTART-MACHINE");
    const QJsonObject recipe { { "prompt", "a lighthouse" }, { "style", "retro" }, { "motion", "orbit" },
        { "vibe", "epic" }, { "lite", true }, { "handle", "keeper" }, { "soundscape", "none" },
        { "user", "RESTART-MACHINE" } };
    ASSERT_EQ(first.postJson("/generate", recipe, token).status, 200);

    ASSERT_TRUE(service.restart()) << service.errorText().toStdString();
    HttpClient second(service.baseUrl());
    const QJsonArray videos = second.get("/history?user=RESTART-MACHINE", token).json().value("videos").toArray();
    ASSERT_EQ(videos.size(), 1) << "the token and the clip are still known";
    const QString url = videos.at(0).toObject().value("url").toString();
    EXPECT_TRUE(url.startsWith(service.cdnUrl())) << "clip addresses follow the current port";
    EXPECT_EQ(second.get(QUrl(url).path()).status, 200);
    EXPECT_EQ(second.get("/balance?user=RESTART-MACHINE", token).json().value("credits").toInt(-1), 0);
}

TEST(ServiceLifecycleTest, GarbageOnTheSocketDoesNotStopTheService)
{
    ServiceProcess service;
    ASSERT_TRUE(service.start({ "--instant" })) << service.errorText().toStdString();
    for (const QByteArray& garbage : { QByteArray("\x00\x01\x02\xff\r\n\r\n", 8), QByteArray("GET / HTTP/9.9\r\n\r\n"),
             QByteArray("POST /enroll HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n{"),
             QByteArray("BREW /pot HTCPCP/1.0\r\n\r\n"), QByteArray(10000, 'A') + "\r\n\r\n" }) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, service.port());
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(garbage);
        socket.waitForBytesWritten(2000);
        socket.waitForReadyRead(300);
        socket.abort();
    }
    HttpClient client(service.baseUrl());
    EXPECT_FALSE(client.enroll("AFTER-GARBAGE").isEmpty());
    EXPECT_TRUE(service.isRunning());
}

// Reads one response (headers and a Content-Length body) from a raw socket.
QByteArray readResponse(QTcpSocket& socket)
{
    QByteArray received;
    while (socket.waitForReadyRead(5000)) {
        received += socket.readAll();
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0)
            continue;
        const qsizetype at = received.indexOf("Content-Length: ");
        const qint64 length = received.mid(at + 16, received.indexOf("\r\n", at) - at - 16).toLongLong();
        if (received.size() - end - 4 >= length)
            break;
    }
    return received;
}

TEST(ServiceLifecycleTest, AHugeBodyIsCutOffWithoutBeingBuffered)
{
    ServiceProcess service;
    ASSERT_TRUE(service.start({}));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, service.port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    const qint64 size = 64LL * 1024 * 1024;
    socket.write("POST /enroll HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(size) + "\r\n\r\n");
    const QByteArray chunk(1024 * 1024, 'a');
    QByteArray answer;
    for (qint64 sent = 0; sent < size && socket.state() == QAbstractSocket::ConnectedState && answer.isEmpty();
         sent += chunk.size()) {
        socket.write(chunk);
        socket.waitForBytesWritten(1000);
        if (socket.bytesAvailable() > 0 || socket.waitForReadyRead(1))
            answer += socket.readAll();
    }
    answer += readResponse(socket);
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.left(200).toStdString();
    EXPECT_TRUE(answer.contains("too_large"));
    HttpClient client(service.baseUrl());
    EXPECT_FALSE(client.enroll("AFTER-HUGE").isEmpty());

    // The service's peak memory stayed far below the body it was sent.
    QFile status(QString("/proc/%1/status").arg(service.processId()));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("VmHWM:");
    ASSERT_GE(at, 0);
    const qint64 peakKiB = text.mid(at + 6, text.indexOf("kB", at) - at - 6).trimmed().toLongLong();
    EXPECT_LT(peakKiB, 48 * 1024) << "peak " << peakKiB << " KiB";
}

TEST(ServiceLifecycleTest, RequestsNearTheLimitOnOneConnectionAreAllServed)
{
    ServiceProcess service;
    ASSERT_TRUE(service.start({}));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, service.port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    const QByteArray body = "{\"machine\":\"NEAR-LIMIT\",\"pad\":\"" + QByteArray(60 * 1024, 'p') + "\"}";
    for (int i = 0; i < 4; ++i) {
        socket.write("POST /enroll HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        const QByteArray answer = readResponse(socket);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << "request " << i << ": " << answer.left(200).toStdString();
    }
}

TEST(ServiceLifecycleTest, ABusyPortIsReportedAndTheServiceExits)
{
    ServiceProcess first;
    ASSERT_TRUE(first.start({}));
    QProcess second;
    QTemporaryDir data;
    second.start(
        QUORVEL_BIN_DIR "/quorvel-service", { "--data", data.path(), "--port", QString::number(first.port()) });
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("can't listen"));
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty()) << "no port line when nothing listens";
}

} // namespace
