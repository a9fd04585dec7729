#pragma once
// Whether a finished reply delivered its whole body, for callers that must never keep half of one.

#include <QNetworkReply>
#include <QString>

#include <optional>

namespace quorvel::extension {

// Why the body of the finished `reply` is not whole, or none when it is. `bodyBytes` is what the
// caller read. An HTTP error status alone leaves the body whole (it is a complete answer); a
// transport failure after the headers (a connection cut, a timeout mid-body) does not, nor does an
// uncompressed body whose length differs from its Content-Length.
std::optional<QString> incompleteBody(const QNetworkReply& reply, qint64 bodyBytes);

} // namespace quorvel::extension
