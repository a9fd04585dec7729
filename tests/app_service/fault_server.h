#pragma once
// A loopback HTTP responder that misbehaves on request: canned replies per path, connections cut
// mid-reply, requests never answered. Runs on the test's event loop.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>

#include <vector>

class QTcpSocket;

namespace quorvel::testing {

struct RecordedRequest {
    QByteArray method;
    QByteArray path; // without the query
    QByteArray target; // path and query as sent
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;

    bool hasHeader(const char* name) const { return headers.contains(QByteArray(name).toLower()); }
    QByteArray header(const char* name) const { return headers.value(QByteArray(name).toLower()); }
};

struct FaultReply {
    enum class Mode {
        complete,
        cutMidBody, // announces the whole length, sends half, then drops the connection
        neverAnswer, // reads the request and stays silent
        delayed, // answers completely after `delayMs`
    };
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    Mode mode = Mode::complete;
    int delayMs = 0;

    static FaultReply json(int status, QByteArray body)
    {
        return FaultReply { status, std::move(body), {}, Mode::complete };
    }
    static FaultReply cut(QByteArray body) { return FaultReply { 200, std::move(body), {}, Mode::cutMidBody }; }
    static FaultReply silent() { return FaultReply { 200, {}, {}, Mode::neverAnswer }; }
    static FaultReply later(int delayMs, int status, QByteArray body)
    {
        return FaultReply { status, std::move(body), {}, Mode::delayed, delayMs };
    }
    static FaultReply redirect(const QString& location)
    {
        return FaultReply { 302, {}, { { "Location", location.toUtf8() } }, Mode::complete };
    }
};

class FaultServer final : public QObject {
public:
    FaultServer();
    ~FaultServer() override;

    // "http://127.0.0.1:<port>", no trailing slash.
    QString baseUrl() const;
    // Queues one reply for `path`; queued replies are used in order, then the sticky one.
    void reply(const QByteArray& path, FaultReply reply);
    // The reply for `path` once its queue is empty (404 when none).
    void always(const QByteArray& path, FaultReply reply);

    std::vector<RecordedRequest> requests;
    std::vector<RecordedRequest> requestsTo(const QByteArray& path) const;

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const RecordedRequest& request);
    void send(QTcpSocket* socket, const FaultReply& reply);

    QTcpServer server_;
    QMap<QByteArray, QList<FaultReply>> queued_;
    QMap<QByteArray, FaultReply> sticky_;
    QMap<QTcpSocket*, QByteArray> pending_;
};

} // namespace quorvel::testing
