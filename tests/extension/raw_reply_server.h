#pragma once
// A loopback server that answers every request with the same raw bytes, then closes the
// connection, keeps it open without another byte, or keeps sending filler until the client goes:
// for replies no well-behaved server sends (a chunked body cut between chunks, a body that stops
// mid-way and hangs, a body that never ends).

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace quorvel::testing {

class RawReplyServer {
public:
    enum class End { Close, Hang, Endless };

    RawReplyServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                ++connections_;
                socket->setParent(&server_);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    head_ += socket->readAll();
                    if (!head_.contains("\r\n\r\n"))
                        return;
                    head_.clear();
                    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
                    socket->write(bytes_);
                    if (end_ == End::Close)
                        socket->disconnectFromHost();
                    if (end_ == End::Endless)
                        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
                            if (socket->bytesToWrite() < kFillerBytes)
                                socket->write(QByteArray(kFillerBytes, 'f'));
                        });
                });
            }
        });
    }

    void answer(QByteArray bytes, End end)
    {
        bytes_ = std::move(bytes);
        end_ = end;
    }
    int connections() const { return connections_; }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }

private:
    static constexpr qsizetype kFillerBytes = 64 * 1024;
    QTcpServer server_;
    QByteArray head_;
    QByteArray bytes_;
    End end_ = End::Close;
    int connections_ = 0;
};

// Status line and headers of a 200 answer; `framing` is "Content-Length: n" or "Transfer-Encoding: chunked".
inline QByteArray okHead(const QByteArray& framing)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n" + framing + "\r\nConnection: close\r\n\r\n";
}

// `body` as chunks of `size` bytes, without the closing zero-length chunk.
inline QByteArray chunked(const QByteArray& body, qsizetype size)
{
    QByteArray out;
    for (qsizetype at = 0; at < body.size(); at += size) {
        const QByteArray piece = body.mid(at, size);
        out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return out;
}

} // namespace quorvel::testing
