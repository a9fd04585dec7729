#pragma once
// A small blocking HTTP client over QNetworkAccessManager for the service tests.

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QString>

#include <utility>
#include <vector>

namespace quorvel::testing {

struct HttpResult {
    int status = 0; // 0 when no HTTP reply arrived
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    QString networkError;

    QByteArray header(const QByteArray& name) const;
    // The body as a JSON object (empty when it is not one).
    QJsonObject json() const;
};

class HttpClient {
public:
    explicit HttpClient(QString baseUrl)
        : base_(std::move(baseUrl))
    {
    }

    HttpResult send(const QByteArray& method, const QString& path, const QByteArray& body = {},
        const std::vector<std::pair<QByteArray, QByteArray>>& headers = {});
    HttpResult get(const QString& path, const QString& token = {});
    HttpResult postJson(const QString& path, const QJsonObject& body, const QString& token = {});
    HttpResult patchJson(const QString& path, const QJsonObject& body, const QString& token = {});
    // Enrolls a machine and returns its token (empty on failure).
    QString enroll(const QString& machine);

    const QString& baseUrl() const { return base_; }

private:
    QString base_;
    QNetworkAccessManager network_;
};

} // namespace quorvel::testing
