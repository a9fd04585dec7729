#include "support/loopback_http_server.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <optional>

namespace quorvel::testing {

namespace {

constexpr qsizetype kMaxRequestBytes = 1024 * 1024;
constexpr qsizetype kFillerBytes = 64 * 1024;

// A complete request once the head and Content-Length bytes of body are in.
std::optional<ReceivedRequest> parseRequest(const QByteArray& buffer)
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return std::nullopt;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    ReceivedRequest request;
    request.method = requestLine.value(0);
    request.path = QString::fromUtf8(requestLine.value(1));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() - (headEnd + 4) < length)
        return std::nullopt;
    request.body = buffer.mid(headEnd + 4, length);
    return request;
}

} // namespace

void LoopbackHttpServer::send(QTcpSocket* socket, const CannedReply& reply)
{
    // Clients read the status code, never the phrase after it.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Canned\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    if (reply.mode == CannedReply::Mode::Endless) {
        // Without a length the body runs until the connection closes, which this side never does.
        socket->write(head + "Connection: close\r\n\r\n" + reply.body);
        streamedBytes_ += reply.body.size();
        connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] {
            if (socket->bytesToWrite() >= kFillerBytes)
                return;
            socket->write(QByteArray(kFillerBytes, ' '));
            streamedBytes_ += kFillerBytes;
        });
        return;
    }
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    socket->write(head);
    if (reply.mode == CannedReply::Mode::CutMidBody) {
        socket->write(reply.body.left(reply.body.size() / 2));
        // Closing after the pending bytes leaves the client short of the announced length.
        socket->disconnectFromHost();
        return;
    }
    socket->write(reply.body);
    socket->disconnectFromHost();
}

LoopbackHttpServer::LoopbackHttpServer(QObject* parent)
    : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
    server_.listen(QHostAddress::LocalHost, 0);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    server_.close();
}

void LoopbackHttpServer::serve(const QString& path, CannedReply reply)
{
    handlers_.insert(path, [reply = std::move(reply)](const ReceivedRequest&) { return reply; });
}

void LoopbackHttpServer::serve(const QString& path, Handler handler)
{
    handlers_.insert(path, std::move(handler));
}

void LoopbackHttpServer::queue(const QString& path, CannedReply reply)
{
    queued_[path].append(std::move(reply));
}

QList<ReceivedRequest> LoopbackHttpServer::requestsTo(const QString& path) const
{
    QList<ReceivedRequest> out;
    for (const ReceivedRequest& request : requests_)
        if (request.path.section(QLatin1Char('?'), 0, 0) == path)
            out.append(request);
    return out;
}

quint16 LoopbackHttpServer::port() const
{
    return server_.serverPort();
}

QUrl LoopbackHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void LoopbackHttpServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > kMaxRequestBytes) {
                socket->abort();
                return;
            }
            const auto request = parseRequest(*buffer);
            if (!request)
                return;
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            requests_.append(*request);

            const QString path = request->path.section(QLatin1Char('?'), 0, 0);
            const auto handler = handlers_.constFind(path);
            auto queue = queued_.find(path);
            const CannedReply reply = queue != queued_.end() && !queue->isEmpty() ? queue->takeFirst()
                : handler != handlers_.cend()                                     ? (*handler)(*request)
                                              : CannedReply { 404, {}, "not found", CannedReply::Mode::Whole };
            if (reply.mode == CannedReply::Mode::Stall)
                return;
            if (reply.mode == CannedReply::Mode::Delayed) {
                // Parented to the socket, so a client that gives up first cancels the reply.
                QTimer::singleShot(reply.delayMs, socket, [this, socket, reply] { send(socket, reply); });
                return;
            }
            send(socket, reply);
        });
    }
}

} // namespace quorvel::testing
