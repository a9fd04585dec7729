#pragma once
// Watches one connection's incoming bytes ahead of the HTTP server, which keeps a whole request in
// memory: a request that announces or grows past the limit is answered 413 before its body is read.

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

namespace quorvel::service {

class RequestGuard final : public QObject {
    Q_OBJECT
public:
    // Must be created before the HTTP server connects to `socket`, so it sees every arrival first.
    // The guard lives as long as the socket.
    RequestGuard(QTcpSocket* socket, qint64 maxRequestBytes);

    // How long a refused client may go on sending before the connection is closed regardless.
    static constexpr int kDrainMilliseconds = 2000;

private:
    void inspectArrival();
    void startRequest();
    void readHead(const QByteArray& arrived);
    void refuse();
    void shutDownSendingSide();

    QTcpSocket* socket_;
    qint64 limit_;
    qint64 requestBytes_ = 0;
    QByteArray head_;
    bool headComplete_ = false;
    bool refused_ = false;
    QTimer drainDeadline_;
};

} // namespace quorvel::service
