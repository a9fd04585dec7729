#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests: canned replies per path, one request per
// connection (the reply closes it). Replies can be queued per path, delayed, cut off mid-body,
// never sent at all, or never ended.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

namespace quorvel::testing {

// How far an endless body can run ahead of a client that stopped reading: what the loopback's
// socket buffers on both sides hold.
inline constexpr qint64 kLoopbackBufferSlack = qint64(16) << 20;

struct CannedReply {
    enum class Mode {
        Whole, // status, headers and the whole body
        CutMidBody, // announces the whole length, sends half the body, closes
        Stall, // reads the request and never answers
        Delayed, // status, headers and the whole body after `delayMs`
        Endless, // status, headers without a length, the body, then filler until the client goes
    };
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // Content-Length is added
    QByteArray body;
    Mode mode = Mode::Whole;
    int delayMs = 0;
};

struct ReceivedRequest {
    QByteArray method;
    QString path; // with its query
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

class LoopbackHttpServer final : public QObject {
    Q_OBJECT
public:
    // Listens on a free loopback port at once.
    explicit LoopbackHttpServer(QObject* parent = nullptr);
    ~LoopbackHttpServer() override;

    using Handler = std::function<CannedReply(const ReceivedRequest&)>;

    // Replies for `path` (the request path without its query); unknown paths get 404.
    void serve(const QString& path, CannedReply reply);
    // Computes each reply for `path` from the request (method, headers, body).
    void serve(const QString& path, Handler handler);
    // Queues one reply for `path`: queued replies go out in order before the path's served one.
    void queue(const QString& path, CannedReply reply);
    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by `path`.
    QUrl url(const QString& path = {}) const;
    QList<ReceivedRequest> requests() const { return requests_; }
    // The requests whose path, without its query, is `path`.
    QList<ReceivedRequest> requestsTo(const QString& path) const;
    void clearRequests() { requests_.clear(); }
    // Bytes of endless bodies handed to the network so far, over all connections.
    qint64 streamedBytes() const { return streamedBytes_; }

private:
    void accept();
    void send(QTcpSocket* socket, const CannedReply& reply);
    QTcpServer server_;
    QMap<QString, Handler> handlers_;
    QMap<QString, QList<CannedReply>> queued_;
    QList<ReceivedRequest> requests_;
    qint64 streamedBytes_ = 0;
};

} // namespace quorvel::testing
