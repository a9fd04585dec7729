#include "fault_server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace quorvel::testing {

namespace {
QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 426:
        return "Upgrade Required";
    case 429:
        return "Too Many Requests";
    default:
        return "Status";
    }
}
} // namespace

FaultServer::FaultServer()
{
    connect(&server_, &QTcpServer::newConnection, this, &FaultServer::accept);
    server_.listen(QHostAddress::LocalHost, 0);
}

FaultServer::~FaultServer()
{
    for (QTcpSocket* socket : pending_.keys())
        socket->abort();
}

QString FaultServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort());
}

void FaultServer::reply(const QByteArray& path, FaultReply reply)
{
    queued_[path].append(std::move(reply));
}

void FaultServer::always(const QByteArray& path, FaultReply reply)
{
    sticky_.insert(path, std::move(reply));
}

std::vector<RecordedRequest> FaultServer::requestsTo(const QByteArray& path) const
{
    std::vector<RecordedRequest> out;
    for (const RecordedRequest& request : requests)
        if (request.path == path)
            out.push_back(request);
    return out;
}

void FaultServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        pending_.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            pending_.remove(socket);
            socket->deleteLater();
        });
    }
}

void FaultServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = pending_[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        RecordedRequest request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        request.path = request.target.left(
            request.target.indexOf('?') < 0 ? request.target.size() : request.target.indexOf('?'));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        requests.push_back(request);
        answer(socket, request);
        if (!pending_.contains(socket))
            return;
    }
}

void FaultServer::answer(QTcpSocket* socket, const RecordedRequest& request)
{
    FaultReply reply { 404, "{}", {}, FaultReply::Mode::complete };
    if (auto queue = queued_.find(request.path); queue != queued_.end() && !queue->isEmpty())
        reply = queue->takeFirst();
    else if (sticky_.contains(request.path))
        reply = sticky_.value(request.path);

    if (reply.mode == FaultReply::Mode::neverAnswer)
        return;
    if (reply.mode == FaultReply::Mode::delayed) {
        QTimer::singleShot(reply.delayMs, socket, [this, socket, reply] { send(socket, reply); });
        return;
    }
    send(socket, reply);
}

void FaultServer::send(QTcpSocket* socket, const FaultReply& reply)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) + "\r\n";
    head += "Content-Type: application/json\r\nConnection: close\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket->write(head);
    if (reply.mode == FaultReply::Mode::cutMidBody) {
        socket->write(reply.body.left(reply.body.size() / 2));
        socket->flush();
        socket->abort();
        return;
    }
    socket->write(reply.body);
    socket->disconnectFromHost();
}

} // namespace quorvel::testing
