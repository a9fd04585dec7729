#include "app/client/service_request.h"

#include "app/client/service_json.h"

namespace quorvel::app {

QNetworkRequest ServiceRequest::toNetworkRequest() const
{
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return request;
}

namespace endpoints {

namespace {
QUrl at(const ServiceConfig& config, const QString& path)
{
    return QUrl(config.baseUrl + path);
}

ServiceRequest post(const ServiceConfig& config, const QString& path, const QJsonObject& body)
{
    return ServiceRequest { at(config, path), QByteArrayLiteral("POST"), json::serialize(body), config.requestTimeout };
}
} // namespace

ServiceRequest enroll(const ServiceConfig& config, const QString& machine)
{
    ServiceRequest request
        = post(config, QStringLiteral("/enroll"), QJsonObject { { QStringLiteral("machine"), machine } });
    request.timeout = config.shortTimeout;
    return request;
}

ServiceRequest balance(const ServiceConfig& config, const QString& user)
{
    return ServiceRequest { at(config, QStringLiteral("/balance?user=") + user), QByteArrayLiteral("GET"), std::nullopt,
        config.requestTimeout };
}

ServiceRequest history(const ServiceConfig& config, const QString& user)
{
    return ServiceRequest { at(config, QStringLiteral("/history?user=") + user), QByteArrayLiteral("GET"), std::nullopt,
        config.requestTimeout };
}

ServiceRequest generate(const ServiceConfig& config, const QJsonObject& body)
{
    return post(config, QStringLiteral("/generate"), body);
}

ServiceRequest job(const ServiceConfig& config, const QString& jobId)
{
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(jobId));
    return ServiceRequest { QUrl(config.baseUrl + QStringLiteral("/jobs/") + encoded, QUrl::StrictMode),
        QByteArrayLiteral("GET"), std::nullopt, config.pollTimeout };
}

ServiceRequest vetPrompt(const ServiceConfig& config, const PromptCheckRequest& check)
{
    const QJsonObject body {
        { QStringLiteral("prompt"), check.prompt },
        { QStringLiteral("style"), check.style },
        { QStringLiteral("motion"), check.motion },
        { QStringLiteral("vibe"), check.vibe },
        { QStringLiteral("soundscape"), QStringLiteral("none") },
        { QStringLiteral("user"), check.user },
    };
    ServiceRequest request = post(config, QStringLiteral("/vet-prompt"), body);
    request.timeout = config.shortTimeout;
    return request;
}

ServiceRequest updateClip(
    const ServiceConfig& config, const QString& action, const QString& clip, const QString& title, const QString& user)
{
    const QJsonObject body {
        { QStringLiteral("url"), clip },
        { QStringLiteral("title"), title },
        { QStringLiteral("user"), user },
    };
    ServiceRequest request = post(config, QStringLiteral("/") + action, body);
    request.method = QByteArrayLiteral("PATCH");
    return request;
}

ServiceRequest debugAccess(const ServiceConfig& config, const QString& machine, const QString& token)
{
    return post(config, QStringLiteral("/debug-access"),
        QJsonObject { { QStringLiteral("machine"), machine }, { QStringLiteral("token"), token } });
}

} // namespace endpoints

} // namespace quorvel::app
