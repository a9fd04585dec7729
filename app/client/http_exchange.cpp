#include "app/client/http_exchange.h"

#include "platform/delete_later.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <memory>

namespace quorvel::app {

namespace {

// Errors that Qt also reports for ordinary HTTP error statuses (4xx, 5xx): the reply still
// completed and carries its status and body.
bool isHttpStatusError(QNetworkReply::NetworkError error)
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

} // namespace

QCoro::Task<std::optional<HttpResponse>> exchange(
    QNetworkAccessManager& session, QNetworkRequest request, QByteArray method, std::optional<QByteArray> body)
{
    QNetworkReply* raw
        = body ? session.sendCustomRequest(request, method, *body) : session.sendCustomRequest(request, method);
    platform::LaterPtr<QNetworkReply> reply(raw);
    QObject::connect(raw, &QNetworkReply::downloadProgress, raw, [raw](qint64 received, qint64) {
        if (received > maximumReplyBytes)
            raw->abort();
    });

    // The session may go away (and take its replies with it) while we wait.
    QPointer<QNetworkReply> guard(raw);
    if (!raw->isFinished())
        co_await qCoro(raw).waitForFinished();
    if (!guard) {
        (void)reply.release();
        co_return std::nullopt;
    }

    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || !isHttpStatusError(raw->error()))
        co_return std::nullopt;
    co_return HttpResponse { status.toLongLong(), raw->readAll() };
}

} // namespace quorvel::app
