#include "service/service_api.h"

#include <QRegularExpression>
#include <QUrl>

namespace quorvel::service {

QString parseId(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{32}$"));
    return pattern.match(text).hasMatch() ? text : QString();
}

QString clipIdFromUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid())
        return {};
    static const QRegularExpression pattern(QStringLiteral("/clips/([0-9a-f]{32})\\.mp4$"));
    const auto match = pattern.match(parsed.path());
    return match.hasMatch() ? match.captured(1) : QString();
}

ServiceApi::ServiceApi(ServiceConfig config, Store& store, ClipRenderer& renderer, const ServiceClock& clock,
    QString assetsDir, QObject* parent)
    : QObject(parent)
    , config_(std::move(config))
    , store_(store)
    , renderer_(renderer)
    , clock_(clock)
    , assetsDir_(std::move(assetsDir))
{
    connect(&renderer_, &ClipRenderer::finished, this, &ServiceApi::renderFinished);
}

void ServiceApi::install(Router& router)
{
    auto bind = [this](void (ServiceApi::*method)(const Request&, const Reply&)) {
        return [this, method](const Request& request, const Reply& reply) { (this->*method)(request, reply); };
    };
    router.add("POST", QStringLiteral("/enroll"), bind(&ServiceApi::enroll));
    router.add("GET", QStringLiteral("/balance"), bind(&ServiceApi::balance));
    router.add("POST", QStringLiteral("/debug-access"), bind(&ServiceApi::debugAccess));
    router.add("POST", QStringLiteral("/generate"), bind(&ServiceApi::generate));
    router.add("GET", QStringLiteral("/jobs/"), bind(&ServiceApi::jobStatus));
    router.add("POST", QStringLiteral("/vet-prompt"), bind(&ServiceApi::vetPrompt));
    router.add("PATCH", QStringLiteral("/title"),
        [this](const Request& request, const Reply& reply) { updateClip(QStringLiteral("title"), request, reply); });
    router.add("PATCH", QStringLiteral("/publish"),
        [this](const Request& request, const Reply& reply) { updateClip(QStringLiteral("publish"), request, reply); });
    router.add("GET", QStringLiteral("/history"), bind(&ServiceApi::history));
    router.add("GET", QStringLiteral("/feed"), bind(&ServiceApi::feed));
    router.add("GET", QStringLiteral("/cdn/"), bind(&ServiceApi::cdn));
    router.add("GET", QStringLiteral("/appcast.xml"), bind(&ServiceApi::appcast));
    router.add("GET", QStringLiteral("/releases/"), bind(&ServiceApi::releasePage));
    for (const QString& plan : { QStringLiteral("monthly"), QStringLiteral("yearly") }) {
        router.add("GET", QStringLiteral("/checkout/") + plan,
            [this, plan](const Request& request, const Reply& reply) { checkoutPage(plan, request, reply); });
        router.add("POST", QStringLiteral("/checkout/") + plan,
            [this, plan](const Request& request, const Reply& reply) { checkoutConfirm(plan, request, reply); });
    }
}

QString ServiceApi::authenticate(const Request& request)
{
    const QByteArray header = request.header("Authorization");
    static const QByteArray prefix = "Bearer ";
    if (!header.startsWith(prefix) || header.size() == prefix.size())
        throw ApiError { ApiError::Code::Unauthorized, QStringLiteral("A bearer token is required; enroll first."),
            {} };
    const auto machine = store_.machineForToken(QString::fromUtf8(header.mid(prefix.size()).trimmed()));
    if (!machine)
        throw ApiError { ApiError::Code::Unauthorized, QStringLiteral("This token isn't known; enroll again."), {} };
    return *machine;
}

void ServiceApi::requireSameUser(const QString& machine, const QString& user)
{
    if (machine != user)
        throw ApiError { ApiError::Code::Forbidden, QStringLiteral("This token belongs to another Mac."), {} };
}

QString ServiceApi::clipUrl(const QString& id) const
{
    return config_.publicUrl + QStringLiteral("/cdn/clips/") + id + QStringLiteral(".mp4");
}

} // namespace quorvel::service
