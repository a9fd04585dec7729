#pragma once
// One HTTP exchange on the shared session.

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkRequest>

#include <optional>

class QNetworkAccessManager;

namespace quorvel::app {

struct HttpResponse {
    qint64 status = 0;
    QByteArray body;
    bool operator==(const HttpResponse&) const = default;
};

// Replies larger than this are cut off and count as a failed transfer. Every endpoint answers
// with one JSON object; the largest, a job's running log, is a megabyte or two. A runaway service
// must not fill memory.
constexpr qint64 maximumReplyBytes = 4 * 1024 * 1024;

// Sends `request` and waits for the whole reply. Every HTTP status is a response; none when the
// exchange did not complete with one: no connection, timeout, connection cut mid-reply, a redirect
// refused by the request's policy, or a reply over `maximumReplyBytes`.
QCoro::Task<std::optional<HttpResponse>> exchange(
    QNetworkAccessManager& session, QNetworkRequest request, QByteArray method, std::optional<QByteArray> body);

} // namespace quorvel::app
