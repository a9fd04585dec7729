// The service under its other flags: product defaults, a failing renderer, and bytes that are not
// well-behaved HTTP.
#include "service_fixture.h"

#include <QFile>
#include <QTcpSocket>

using namespace quorvel::testing;

namespace {

QStringList productDefaults()
{
    return {};
}
using ServiceDefaultsTest = ServiceFixture<productDefaults>;

TEST_F(ServiceDefaultsTest, OneFreeLiteGenerationWhoseJobMovesOnTheServiceClock)
{
    EXPECT_EQ(credits(), 1);
    EXPECT_EQ(generate(recipe("fox", false)).status, 402) << "Standard costs more than the free credit";
    const HttpResult accepted = generate(recipe(), "");
    ASSERT_EQ(accepted.status, 200) << "without --min-build any build may generate";
    const QJsonObject status = job(accepted);
    EXPECT_FALSE(status.value("done").toBool(true));
    EXPECT_FALSE(status.contains("clip"));
    EXPECT_FALSE(status.value("log").toString().contains("animating...")) << "a few seconds must pass first";
    EXPECT_EQ(credits(), 0);
    const QJsonObject pair { { "machine", kDebugMachine }, { "token", kDebugToken } };
    EXPECT_FALSE(client->json("POST", "/debug-access", pair, token).json().value("allowed").toBool(true))
        << "no developer pair is configured";
}

TEST(ServiceRendererTest, AFailedOrUnstartableRendererEndsTheJobWithTheReasonAndRefunds)
{
    for (const auto& [ffmpeg, reason] : { std::pair("/bin/false", "Rendering failed: the renderer exited"),
             std::pair("/nonexistent/ffmpeg", "Rendering failed: the renderer could not be started.") }) {
        ServiceProcess service;
        ASSERT_TRUE(service.start({ "--instant", "--ffmpeg", ffmpeg })) << service.errorText().toStdString();
        HttpClient client(service.baseUrl());
        const QString token = client.enroll("M");
        const QJsonObject recipe { { "prompt", "a fox" }, { "style", "noir" }, { "motion", "drift" },
            { "vibe", "calm" }, { "lite", true }, { "handle", "h" }, { "soundscape", "none" }, { "user", "M" } };
        const QString job = client.json("POST", "/generate", recipe, token).json().value("job").toString();
        const QJsonObject status = client.get("/jobs/" + job).json();
        EXPECT_TRUE(status.value("done").toBool()) << ffmpeg;
        EXPECT_FALSE(status.value("ok").toBool(true)) << ffmpeg;
        EXPECT_FALSE(status.contains("clip")) << ffmpeg;
        EXPECT_TRUE(status.value("log").toString().split('\n').last().startsWith(reason))
            << status.value("log").toString().toStdString();
        EXPECT_EQ(client.get("/balance?user=M", token).json().value("credits").toInt(), 1) << ffmpeg;
        EXPECT_TRUE(client.get("/history?user=M", token).json().value("videos").toArray().isEmpty()) << ffmpeg;
    }
}

// Reads one response (headers and a Content-Length body) from a raw socket.
QByteArray readResponse(QTcpSocket& socket)
{
    QByteArray received;
    while (socket.waitForReadyRead(5000)) {
        received += socket.readAll();
        const qsizetype end = received.indexOf("\r\n\r\n");
        const qsizetype at = received.indexOf("Content-Length: ");
        if (end >= 0
            && received.size() - end - 4 >= received.mid(at + 16, received.indexOf("\r\n", at) - at - 16).toLongLong())
            break;
    }
    return received;
}

QByteArray enrollHead(qint64 length, const QByteArray& extraHeaders = {})
{
    return "POST /enroll HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(length) + "\r\n" + extraHeaders + "\r\n";
}

TEST(ServiceLifecycleTest, RawSocketAbuseNeitherStopsNorBloatsTheService)
{
    ServiceProcess service;
    ASSERT_TRUE(service.start({}));
    for (const QByteArray& garbage : { QByteArray("\x00\x01\x02\xff\r\n\r\n", 8), QByteArray("GET / HTTP/9.9\r\n\r\n"),
             enrollHead(99999999999) + "{", QByteArray("BREW /pot HTCPCP/1.0\r\n\r\n"),
             QByteArray(10000, 'A') + "\r\n\r\n" }) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, service.port());
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(garbage);
        socket.waitForBytesWritten(2000);
        socket.waitForReadyRead(300);
    }

    // A 64 MiB body is refused with 413 without being buffered, whether its length is announced or
    // only grows chunk by chunk; the answer arrives although the client is still sending.
    const qint64 size = 64LL * 1024 * 1024;
    const QByteArray chunked
        = "POST /enroll HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (const QByteArray& head : { enrollHead(size), chunked }) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, service.port());
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(head);
        const QByteArray chunk
            = head == chunked ? "100000\r\n" + QByteArray(0x100000, 'a') + "\r\n" : QByteArray(0x100000, 'a');
        QByteArray answer;
        for (qint64 sent = 0; sent < size && socket.state() == QAbstractSocket::ConnectedState && answer.isEmpty();
             sent += 0x100000) {
            socket.write(chunk);
            socket.waitForBytesWritten(1000);
            if (socket.bytesAvailable() > 0 || socket.waitForReadyRead(1))
                answer += socket.readAll();
        }
        answer += readResponse(socket);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 413") && answer.contains("too_large"))
            << answer.left(200).toStdString();
    }
    QFile status(QString("/proc/%1/status").arg(service.processId()));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("VmHWM:");
    const qint64 peakKiB = text.mid(at + 6, text.indexOf("kB", at) - at - 6).trimmed().toLongLong();
    EXPECT_LT(peakKiB, 48 * 1024) << "peak " << peakKiB << " KiB";

    // Bodies just under the limit, one after another on one connection, are all served.
    QTcpSocket kept;
    kept.connectToHost(QHostAddress::LocalHost, service.port());
    ASSERT_TRUE(kept.waitForConnected(5000));
    const QByteArray body = "{\"machine\":\"NEAR-LIMIT\",\"pad\":\"" + QByteArray(60 * 1024, 'p') + "\"}";
    for (int i = 0; i < 4; ++i) {
        kept.write(enrollHead(body.size()) + body);
        EXPECT_TRUE(readResponse(kept).startsWith("HTTP/1.1 200")) << "request " << i;
    }
    EXPECT_TRUE(service.isRunning());
}

TEST(ServiceLifecycleTest, AnnouncedLengthIsJudgedBeforeTheBodyAndExpectContinueIsAnswered)
{
    ServiceProcess service;
    ASSERT_TRUE(service.start({}));
    const QByteArray expect = "Expect: 100-continue\r\n";

    // Too large: refused from the head alone, so a waiting client never has to send its body.
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, service.port());
    ASSERT_TRUE(refused.waitForConnected(5000));
    refused.write(enrollHead(10 * 1024 * 1024, expect));
    const QByteArray answer = readResponse(refused);
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413") && answer.contains("too_large")) << answer.toStdString();
    EXPECT_FALSE(answer.contains("100 Continue"));
    EXPECT_TRUE(refused.state() == QAbstractSocket::UnconnectedState || !refused.waitForReadyRead(3000))
        << "the service closes its side after refusing";

    // Acceptable: leave to send, then the real answer on the same connection.
    QTcpSocket accepted;
    accepted.connectToHost(QHostAddress::LocalHost, service.port());
    ASSERT_TRUE(accepted.waitForConnected(5000));
    const QByteArray body = R"({"machine":"EXPECTS"})";
    accepted.write(enrollHead(body.size(), expect));
    QByteArray interim;
    while (!interim.contains("\r\n\r\n") && accepted.waitForReadyRead(5000))
        interim += accepted.readAll();
    EXPECT_EQ(interim, "HTTP/1.1 100 Continue\r\n\r\n");
    accepted.write(body);
    EXPECT_TRUE(readResponse(accepted).startsWith("HTTP/1.1 200"));
}

} // namespace
