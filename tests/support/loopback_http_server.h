#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests: canned replies per path, one request per
// connection (the reply closes it). Replies can be queued per path, delayed, cut off mid-body or
// never sent at all.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <functional>

namespace quorvel::testing {

struct CannedReply {
    enum class Mode {
        Whole, // status, headers and the whole body
        CutMidBody, // announces the whole length, sends half the body, closes
        Stall, // reads the request and never answers
        Delayed, // status, headers and the whole body after `delayMs`
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

private:
    void accept();
    QTcpServer server_;
    QMap<QString, Handler> handlers_;
    QMap<QString, QList<CannedReply>> queued_;
    QList<ReceivedRequest> requests_;
};

} // namespace quorvel::testing
