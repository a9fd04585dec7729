#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the extension's tests: canned answers by path, including
// answers that are cut off mid-body or never come.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>

namespace quorvel::testing {

struct CannedResponse {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    // Sends only this many body bytes (with the full Content-Length), then closes the connection.
    qint64 cutOffAfter = -1;
    // Accepts the request and never answers.
    bool stall = false;
};

class TestHttpServer : public QObject {
    Q_OBJECT
public:
    TestHttpServer();
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;
    QUrl url(const QString& path) const { return QUrl(baseUrl() + path); }
    // Answers requests whose path (without the query) is `path`; unknown paths get 404.
    void route(const QString& path, CannedResponse response) { routes_.insert(path, std::move(response)); }
    // Full request targets (path and query) in arrival order.
    QStringList requests;

private:
    void onConnection();
    void answer(QTcpSocket* socket, const QByteArray& target);

    QTcpServer server_;
    QHash<QString, CannedResponse> routes_;
};

} // namespace quorvel::testing
