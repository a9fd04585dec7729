#pragma once
// The listening side: turns each parsed request into a Request value and hands it to one handler
// together with a Reply that may be answered at once or later (the socket may be gone by then).

#include "service/http_types.h"

#include <QAbstractHttpServer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>

namespace quorvel::service {

class Reply {
public:
    Reply(QTcpSocket* socket, bool keepAlive, bool headOnly);
    // Hands the response to `sink` instead of a socket (for driving handlers in-process).
    explicit Reply(std::function<void(const Response&)> sink);
    // Writes the response once; later calls and calls after the client left do nothing.
    void send(const Response& response) const;

private:
    QPointer<QTcpSocket> socket_;
    std::function<void(const Response&)> sink_;
    bool keepAlive_;
    bool headOnly_;
    std::shared_ptr<bool> sent_;
};

class HttpServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    using Handler = std::function<void(const Request&, const Reply&)>;
    explicit HttpServer(Handler handler, QObject* parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Handler handler_;
};

// A listening socket whose connections answer 413 to a request that announces or grows past
// `maxRequestBytes`, before the HTTP server (which keeps a whole request in memory) has read it.
class GuardedTcpServer final : public QTcpServer {
    Q_OBJECT
public:
    explicit GuardedTcpServer(qint64 maxRequestBytes, QObject* parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    qint64 maxRequestBytes_;
};

// Reason phrase of a status ("Not Found").
QByteArray reasonPhrase(int status);

} // namespace quorvel::service
