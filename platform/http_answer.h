#pragma once
// Telling a whole HTTP answer from a transfer that failed, from the error Qt gives a reply.

#include <QNetworkReply>

namespace quorvel::platform {

// True when a reply that ended with `error` still carries a whole answer: no error, or one that Qt
// derives from an HTTP error status (4xx, 5xx), whose status and body are the answer.
bool isHttpAnswer(QNetworkReply::NetworkError error);

} // namespace quorvel::platform
