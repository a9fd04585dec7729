#pragma once
// One call to the service as data: what the endpoint table fixes for it, before the session
// adds the token and the build header.

#include "app/client/service_config.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace quorvel::app {

struct ServiceRequest {
    QUrl url;
    QByteArray method;
    // A JSON body; requests that carry one are sent with the JSON content type.
    std::optional<QByteArray> body;
    std::chrono::milliseconds timeout { std::chrono::seconds(60) };

    bool operator==(const ServiceRequest&) const = default;

    // The network request without the Authorization and build headers.
    QNetworkRequest toNetworkRequest() const;
};

// The six strings the prompt pre-check sends; `soundscape` is always "none".
struct PromptCheckRequest {
    QString prompt;
    QString style;
    QString motion;
    QString vibe;
    QString user;
};

namespace endpoints {

ServiceRequest enroll(const ServiceConfig& config, const QString& machine);
ServiceRequest balance(const ServiceConfig& config, const QString& user);
ServiceRequest history(const ServiceConfig& config, const QString& user);
ServiceRequest generate(const ServiceConfig& config, const QJsonObject& body);
// The job id is percent-encoded so a strange id cannot change the path or leave the origin.
ServiceRequest job(const ServiceConfig& config, const QString& jobId);
ServiceRequest vetPrompt(const ServiceConfig& config, const PromptCheckRequest& check);
// `action` is "title" or "publish": PATCH to the base URL + "/" + action.
ServiceRequest updateClip(
    const ServiceConfig& config, const QString& action, const QString& clip, const QString& title, const QString& user);
ServiceRequest debugAccess(const ServiceConfig& config, const QString& machine, const QString& token);

} // namespace endpoints

} // namespace quorvel::app
