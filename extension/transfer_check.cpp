#include "extension/transfer_check.h"

#include <QNetworkRequest>

namespace quorvel::extension {
namespace {

// The errors Qt derives from an HTTP status of 400 and above, after the body has arrived whole.
bool isStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolInvalidOperationError
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

} // namespace

std::optional<QString> incompleteBody(const QNetworkReply& reply, qint64 bodyBytes)
{
    const bool hasStatus = !reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isNull();
    if (reply.error() != QNetworkReply::NoError && (!hasStatus || !isStatusError(reply.error())))
        return reply.errorString();
    // A compressed body is inflated on the way, so only an identity body can be held to its length.
    const QVariant declared = reply.header(QNetworkRequest::ContentLengthHeader);
    if (reply.rawHeader("Content-Encoding").isEmpty() && declared.isValid() && declared.toLongLong() != bodyBytes)
        return QStringLiteral("the transfer ended after %1 of %2 bytes").arg(bodyBytes).arg(declared.toLongLong());
    return std::nullopt;
}

} // namespace quorvel::extension
