#include "extension/transfer_check.h"

#include "platform/http_answer.h"

#include <QNetworkRequest>

namespace quorvel::extension {

std::optional<QString> incompleteBody(const QNetworkReply& reply, qint64 bodyBytes)
{
    const bool hasStatus = !reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isNull();
    if (reply.error() != QNetworkReply::NoError && (!hasStatus || !platform::isHttpAnswer(reply.error())))
        return reply.errorString();
    // A compressed body is inflated on the way, so only an identity body can be held to its length.
    const QVariant declared = reply.header(QNetworkRequest::ContentLengthHeader);
    if (reply.rawHeader("Content-Encoding").isEmpty() && declared.isValid() && declared.toLongLong() != bodyBytes)
        return QStringLiteral("the transfer ended after %1 of %2 bytes").arg(bodyBytes).arg(declared.toLongLong());
    return std::nullopt;
}

} // namespace quorvel::extension
