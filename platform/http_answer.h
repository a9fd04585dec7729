#pragma once
// Telling a whole HTTP answer from a transfer that failed, from the error Qt gives a reply; and a
// bound on what one reply may bring into memory.

#include <QNetworkReply>

namespace quorvel::platform {

// True when a reply that ended with `error` still carries a whole answer: no error, or one that Qt
// derives from an HTTP error status (4xx, 5xx), whose status and body are the answer.
bool isHttpAnswer(QNetworkReply::NetworkError error);

// Aborts `reply` as soon as its announced length or the body it holds passes `maxBytes`, so an
// answer that never ends cannot fill memory; the reply then ends as a failed transfer. For replies
// read whole at their end. Checked on every arrival of bytes: Qt's progress signal is throttled
// and lets hundreds of megabytes in between two emissions.
void limitReplyBody(QNetworkReply& reply, qint64 maxBytes);
// True once limitReplyBody aborted `reply`.
bool exceededReplyLimit(const QNetworkReply& reply);

} // namespace quorvel::platform
