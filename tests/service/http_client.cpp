#include "http_client.h"

#include <QBuffer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QTimer>

namespace quorvel::testing {

QByteArray HttpResult::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QJsonObject HttpResult::json() const
{
    return QJsonDocument::fromJson(body).object();
}

HttpResult HttpClient::send(const QByteArray& method, const QString& path, const QByteArray& body,
    const std::vector<std::pair<QByteArray, QByteArray>>& headers)
{
    QNetworkRequest request(QUrl(base_ + path));
    request.setTransferTimeout(15000);
    for (const auto& [key, value] : headers)
        request.setRawHeader(key, value);
    auto* buffer = new QBuffer;
    buffer->setData(body);
    buffer->open(QIODevice::ReadOnly);
    QNetworkReply* reply = network_.sendCustomRequest(request, method, buffer);
    buffer->setParent(reply);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();

    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    for (const auto& pair : reply->rawHeaderPairs())
        result.headers.emplace_back(pair.first, pair.second);
    if (reply->error() != QNetworkReply::NoError && result.status == 0)
        result.networkError = reply->errorString();
    reply->deleteLater();
    return result;
}

HttpResult HttpClient::get(const QString& path, const QString& token)
{
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    if (!token.isEmpty())
        headers.emplace_back("Authorization", "Bearer " + token.toUtf8());
    return send("GET", path, {}, headers);
}

HttpResult HttpClient::postJson(const QString& path, const QJsonObject& body, const QString& token)
{
    std::vector<std::pair<QByteArray, QByteArray>> headers { { "Content-Type", "application/json" } };
    if (!token.isEmpty())
        headers.emplace_back("Authorization", "Bearer " + token.toUtf8());
    return send("POST", path, QJsonDocument(body).toJson(QJsonDocument::Compact), headers);
}

HttpResult HttpClient::patchJson(const QString& path, const QJsonObject& body, const QString& token)
{
    std::vector<std::pair<QByteArray, QByteArray>> headers { { "Content-Type", "application/json" } };
    if (!token.isEmpty())
        headers.emplace_back("Authorization", "Bearer " + token.toUtf8());
    return send("PATCH", path, QJsonDocument(body).toJson(QJsonDocument::Compact), headers);
}

QString HttpClient::enroll(const QString& machine)
{
    return postJson(QStringLiteral("/enroll"), { { "machine", machine } }).json().value("token").toString();
}

} // namespace quorvel::testing
