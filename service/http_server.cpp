#include "service/http_server.h"

#include "service/request_guard.h"

#include <QFile>
#include <QHttpServerRequest>

#include <memory>

namespace quorvel::service {
namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    using M = QHttpServerRequest::Method;
    switch (method) {
    case M::Get:
        return "GET";
    case M::Put:
        return "PUT";
    case M::Delete:
        return "DELETE";
    case M::Post:
        return "POST";
    case M::Head:
        return "HEAD";
    case M::Options:
        return "OPTIONS";
    case M::Patch:
        return "PATCH";
    case M::Connect:
        return "CONNECT";
    case M::Trace:
        return "TRACE";
    default:
        return "UNKNOWN";
    }
}

// Streams a byte range of a file to the socket in small chunks, topping up the socket's buffer
// as it drains, so a large clip never sits in memory whole. Dies with the socket.
class FileStreamer final : public QObject {
public:
    FileStreamer(QTcpSocket* socket, const QString& path, qint64 offset, qint64 length, bool keepAlive)
        : QObject(socket)
        , socket_(socket)
        , file_(path)
        , remaining_(length)
        , keepAlive_(keepAlive)
    {
        if (!file_.open(QIODevice::ReadOnly) || !file_.seek(offset)) {
            // Headers already promised a length; a short body is all that is left to do.
            socket_->disconnectFromHost();
            deleteLater();
            return;
        }
        connect(socket_, &QTcpSocket::bytesWritten, this, &FileStreamer::pump);
        pump();
    }

private:
    static constexpr qint64 kChunk = 64 * 1024;
    static constexpr qint64 kHighWater = 256 * 1024;

    void pump()
    {
        while (remaining_ > 0 && socket_->bytesToWrite() < kHighWater) {
            const QByteArray chunk = file_.read(qMin(kChunk, remaining_));
            if (chunk.isEmpty()) {
                socket_->disconnectFromHost(); // the file shrank under us
                finish();
                return;
            }
            socket_->write(chunk);
            remaining_ -= chunk.size();
        }
        if (remaining_ == 0) {
            if (!keepAlive_)
                socket_->disconnectFromHost();
            finish();
        }
    }

    void finish()
    {
        disconnect(socket_, nullptr, this, nullptr);
        remaining_ = -1;
        deleteLater();
    }

    QTcpSocket* socket_;
    QFile file_;
    qint64 remaining_;
    bool keepAlive_;
};

} // namespace

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 402:
        return "Payment Required";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 426:
        return "Upgrade Required";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

Reply::Reply(QTcpSocket* socket, bool keepAlive, bool headOnly)
    : socket_(socket)
    , keepAlive_(keepAlive)
    , headOnly_(headOnly)
    , sent_(std::make_shared<bool>(false))
{
}

Reply::Reply(std::function<void(const Response&)> sink)
    : sink_(std::move(sink))
    , keepAlive_(true)
    , headOnly_(false)
    , sent_(std::make_shared<bool>(false))
{
}

void Reply::send(const Response& response) const
{
    if (*sent_)
        return;
    if (sink_) {
        *sent_ = true;
        sink_(response);
        return;
    }
    if (socket_.isNull())
        return;
    *sent_ = true;
    const qint64 length = response.file ? response.file->length : response.body.size();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    if (!response.contentType.isEmpty())
        head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    for (const auto& [key, value] : response.headers)
        head += key + ": " + value + "\r\n";
    if (!keepAlive_)
        head += "Connection: close\r\n";
    head += "\r\n";
    socket_->write(head);

    if (headOnly_ || length == 0) {
        if (!keepAlive_)
            socket_->disconnectFromHost();
        return;
    }
    if (response.file) {
        new FileStreamer(socket_, response.file->path, response.file->offset, response.file->length, keepAlive_);
        return;
    }
    socket_->write(response.body);
    if (!keepAlive_)
        socket_->disconnectFromHost();
}

GuardedTcpServer::GuardedTcpServer(qint64 maxRequestBytes, QObject* parent)
    : QTcpServer(parent)
    , maxRequestBytes_(maxRequestBytes)
{
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    new RequestGuard(socket, maxRequestBytes_);
    addPendingConnection(socket);
}

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QAbstractHttpServer(parent)
    , handler_(std::move(handler))
{
}

bool HttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    Request value;
    value.method = methodName(request.method());
    value.path = request.url().path();
    value.query = request.query();
    for (const auto& [key, headerValue] : request.headers())
        value.headers.emplace_back(key, headerValue);
    value.body = request.body();

    const QByteArray connection = value.header("Connection").toLower();
    const bool keepAlive = !connection.contains("close");
    handler_(value, Reply(socket, keepAlive, value.method == "HEAD"));
    return true;
}

void HttpServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    // handleRequest answers everything; this only guards against a library path that skips it.
    Reply(socket, false, false).send(Response::error(ApiError::notFound(QStringLiteral("No such resource."))));
}

} // namespace quorvel::service
