#include "app/client/http_exchange.h"

#include "platform/delete_later.h"
#include "platform/http_answer.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <memory>

namespace quorvel::app {

QCoro::Task<std::optional<HttpResponse>> exchange(
    QNetworkAccessManager& session, QNetworkRequest request, QByteArray method, std::optional<QByteArray> body)
{
    QNetworkReply* raw
        = body ? session.sendCustomRequest(request, method, *body) : session.sendCustomRequest(request, method);
    platform::LaterPtr<QNetworkReply> reply(raw);
    platform::limitReplyBody(*raw, maximumReplyBytes);

    // The session may go away (and take its replies with it) while we wait.
    QPointer<QNetworkReply> guard(raw);
    if (!raw->isFinished())
        co_await qCoro(raw).waitForFinished();
    if (!guard) {
        (void)reply.release();
        co_return std::nullopt;
    }

    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || !platform::isHttpAnswer(raw->error()))
        co_return std::nullopt;
    co_return HttpResponse { status.toLongLong(), raw->readAll() };
}

} // namespace quorvel::app
