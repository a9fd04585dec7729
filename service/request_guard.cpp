#include "service/request_guard.h"

#include "service/http_server.h"
#include "service/http_types.h"

#include <sys/socket.h>

namespace quorvel::service {
namespace {

// Value of a header in a raw request head, compared case-insensitively; empty when absent.
QByteArray headValue(const QByteArray& head, const QByteArray& name)
{
    const QByteArray wanted = name.toLower() + ':';
    for (const QByteArray& line : head.split('\n')) {
        if (line.toLower().startsWith(wanted))
            return line.mid(wanted.size()).trimmed();
    }
    return {};
}

} // namespace

RequestGuard::RequestGuard(QTcpSocket* socket, qint64 maxRequestBytes)
    : QObject(socket)
    , socket_(socket)
    , limit_(maxRequestBytes)
{
    // Each read takes in at most this much, so the count below sees a request grow step by step.
    socket->setReadBufferSize(qMax<qint64>(4 * maxRequestBytes, 256 * 1024));
    connect(socket, &QTcpSocket::readyRead, this, &RequestGuard::inspectArrival);
    drainDeadline_.setSingleShot(true);
    connect(&drainDeadline_, &QTimer::timeout, socket, &QTcpSocket::abort);
}

void RequestGuard::inspectArrival()
{
    if (refused_) {
        socket_->readAll(); // a refused client's body is dropped unread
        return;
    }
    // While a request is incomplete the server holds its bytes in an open read transaction and only
    // the newly arrived ones count as available; no transaction means a new request begins here.
    if (!socket_->isTransactionStarted())
        startRequest();
    const qint64 arrived = socket_->bytesAvailable();
    requestBytes_ += arrived;
    if (!headComplete_)
        readHead(socket_->peek(arrived));
    if (!refused_ && requestBytes_ > limit_)
        refuse();
}

void RequestGuard::startRequest()
{
    requestBytes_ = 0;
    head_.clear();
    headComplete_ = false;
}

void RequestGuard::readHead(const QByteArray& arrived)
{
    head_ += arrived;
    const qsizetype end = head_.indexOf("\r\n\r\n");
    if (end < 0)
        return; // the byte count alone bounds a head that never ends
    head_.truncate(end + 2);
    headComplete_ = true;

    bool announced = false;
    const qint64 length = headValue(head_, "Content-Length").toLongLong(&announced);
    if (announced && (length < 0 || length > limit_ - head_.size() - 2)) {
        refuse();
        return;
    }
    // A client that waits for leave to send its body gets it now, since its size is acceptable.
    if (headValue(head_, "Expect").toLower() == "100-continue")
        socket_->write("HTTP/1.1 100 Continue\r\n\r\n");
}

void RequestGuard::refuse()
{
    refused_ = true;
    if (socket_->isTransactionStarted())
        socket_->rollbackTransaction();
    // The HTTP server must not parse or answer anything more on this connection.
    disconnect(socket_, &QTcpSocket::readyRead, nullptr, nullptr);
    connect(socket_, &QTcpSocket::readyRead, this, &RequestGuard::inspectArrival);
    socket_->readAll();

    const Response response = Response::error(
        { ApiError::Code::TooLarge, QStringLiteral("The request is larger than the service accepts."), {} });
    const QByteArray head = "HTTP/1.1 413 " + reasonPhrase(413) + "\r\nContent-Type: " + response.contentType
        + "\r\nContent-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n";
    socket_->write(head + response.body);
    // Closing while the client still sends would reset the connection and could discard the answer
    // before the client reads it; so the sending side closes once the answer is out, and what the
    // client still sends is read and dropped until it closes too or the deadline passes.
    connect(socket_, &QTcpSocket::bytesWritten, this, &RequestGuard::shutDownSendingSide);
    connect(socket_, &QTcpSocket::readChannelFinished, socket_, &QTcpSocket::abort);
    drainDeadline_.start(kDrainMilliseconds);
    shutDownSendingSide();
}

void RequestGuard::shutDownSendingSide()
{
    if (socket_->bytesToWrite() > 0 || socket_->state() != QAbstractSocket::ConnectedState)
        return;
    disconnect(socket_, &QTcpSocket::bytesWritten, this, &RequestGuard::shutDownSendingSide);
    ::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_WR);
}

} // namespace quorvel::service
