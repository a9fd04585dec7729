#include "platform/http_answer.h"

namespace quorvel::platform {

bool isHttpAnswer(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::NoError:
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    // A 407 names the proxy, yet it is an answer with a status and a body all the same.
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::ContentReSendError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

namespace {

constexpr const char* kExceededProperty = "quorvelReplyLimitExceeded";

} // namespace

void limitReplyBody(QNetworkReply& reply, qint64 maxBytes)
{
    QNetworkReply* raw = &reply;
    const auto check = [raw, maxBytes] {
        const QVariant announced = raw->header(QNetworkRequest::ContentLengthHeader);
        const bool over
            = (announced.isValid() && announced.toLongLong() > maxBytes) || raw->bytesAvailable() > maxBytes;
        if (!over || exceededReplyLimit(*raw))
            return;
        raw->setProperty(kExceededProperty, true);
        raw->abort();
    };
    QObject::connect(raw, &QNetworkReply::metaDataChanged, raw, check);
    QObject::connect(raw, &QNetworkReply::readyRead, raw, check);
}

bool exceededReplyLimit(const QNetworkReply& reply)
{
    return reply.property(kExceededProperty).toBool();
}

} // namespace quorvel::platform
