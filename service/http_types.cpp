#include "service/http_types.h"

#include <QJsonDocument>
#include <QtMath>

namespace quorvel::service {

QByteArray Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

std::optional<QString> Request::queryValue(const QString& key) const
{
    if (!query.hasQueryItem(key))
        return std::nullopt;
    return query.queryItemValue(key, QUrl::FullyDecoded);
}

Response Response::json(int status, const QJsonObject& object)
{
    Response response;
    response.status = status;
    response.contentType = "application/json";
    response.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return response;
}

Response Response::error(const ApiError& error)
{
    Response response = json(httpStatus(error.code), errorBody(error));
    if (error.retryAfter)
        response.headers.emplace_back("Retry-After", QByteArray::number(qCeil(*error.retryAfter)));
    return response;
}

Response Response::html(int status, const QByteArray& page)
{
    Response response;
    response.status = status;
    response.contentType = "text/html; charset=utf-8";
    response.body = page;
    return response;
}

} // namespace quorvel::service
