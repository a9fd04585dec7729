#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests: canned replies per path, one request per
// connection (the reply closes it). A reply can be cut off mid-body or never sent at all.

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
    };
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // Content-Length is added
    QByteArray body;
    Mode mode = Mode::Whole;
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
    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by `path`.
    QUrl url(const QString& path = {}) const;
    QList<ReceivedRequest> requests() const { return requests_; }

private:
    void accept();
    QTcpServer server_;
    QMap<QString, Handler> handlers_;
    QList<ReceivedRequest> requests_;
};

} // namespace quorvel::testing
