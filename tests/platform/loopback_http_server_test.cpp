// The responder other subsystems' tests rely on: what a client sees for each reply mode.
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>

#include <memory>

namespace {

using quorvel::testing::CannedReply;
using quorvel::testing::LoopbackHttpServer;
using quorvel::testing::ReceivedRequest;

std::unique_ptr<QNetworkReply> fetch(
    QNetworkAccessManager& network, const QUrl& url, int timeoutMs = 10'000, const QByteArray& postBody = {})
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    std::unique_ptr<QNetworkReply> reply(postBody.isNull() ? network.get(request) : network.post(request, postBody));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    EXPECT_TRUE(finished.wait(timeoutMs + 5'000));
    return reply;
}

TEST(LoopbackHttpServer, ServesCutsAndStallsAsAsked)
{
    LoopbackHttpServer server;
    QNetworkAccessManager network;
    server.serve("/whole", { 201, { { "X-Test", "yes" } }, "hello" });
    server.serve("/cut", { 200, {}, QByteArray(100'000, 'x'), CannedReply::Mode::CutMidBody });
    server.serve("/stall", { 200, {}, "never", CannedReply::Mode::Stall });
    server.serve("/echo", [](const ReceivedRequest& request) {
        return CannedReply { 200, {}, request.method + ' ' + request.path.toUtf8() + ' ' + request.body };
    });

    auto whole = fetch(network, server.url("/whole?user=A"));
    EXPECT_EQ(whole->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);
    EXPECT_EQ(whole->rawHeader("X-Test"), "yes");
    EXPECT_EQ(whole->readAll(), "hello");

    auto cut = fetch(network, server.url("/cut"));
    EXPECT_NE(cut->error(), QNetworkReply::NoError);
    EXPECT_LT(cut->readAll().size(), 100'000);

    auto stalled = fetch(network, server.url("/stall"), 200);
    EXPECT_EQ(stalled->error(), QNetworkReply::OperationCanceledError);

    auto echo = fetch(network, server.url("/echo?x=1"), 10'000, "{\"a\":1}");
    EXPECT_EQ(echo->readAll(), "POST /echo?x=1 {\"a\":1}");
    EXPECT_EQ(fetch(network, server.url("/missing"))->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);

    ASSERT_EQ(server.requests().size(), 5);
    EXPECT_EQ(server.requests().at(3).headers.value("content-type"), "application/json");
}

} // namespace
