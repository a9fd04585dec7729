#include "app/client/auth_store.h"

#include "app/client/service_json.h"
#include "platform/log.h"
#include "platform/machine_identity.h"
#include "platform/operating_system.h"
#include "platform/secret_store.h"

#include <QNetworkAccessManager>

namespace quorvel::app {

using platform::LogCategory;

namespace {
void logEnrollmentFailure()
{
    platform::log::error(
        LogCategory::HostApp, QStringLiteral("Enrollment failed; the app will retry on the next authed call."));
}
} // namespace

AuthStore::AuthStore(QNetworkAccessManager& session, platform::SecretStore& secrets,
    const platform::MachineIdentity& identity, const platform::OperatingSystem& system, ServiceConfig config,
    QObject* parent)
    : QObject(parent)
    , session_(session)
    , secrets_(secrets)
    , identity_(identity)
    , system_(system)
    , config_(std::move(config))
{
}

QString AuthStore::machineIdentifier() const
{
    const QString identifier = identity_.machineIdentifier();
    return identifier.isEmpty() ? QStringLiteral("unknown") : identifier;
}

std::optional<QString> AuthStore::buildNumber() const
{
    const std::optional<platform::BundleInfo> bundle = system_.mainBundle();
    return bundle ? bundle->version : std::nullopt;
}

QCoro::Task<std::optional<QString>> AuthStore::readToken()
{
    const platform::SecretReadResult result = co_await secrets_.read(tokenService, tokenAccount);
    if (result.status != platform::secret_status::success)
        co_return std::nullopt;
    std::optional<QString> token = json::decodeUtf8(result.data);
    if (!token || token->isEmpty())
        co_return std::nullopt;
    co_return token;
}

QCoro::Task<bool> AuthStore::storeToken(QString token)
{
    co_await secrets_.remove(tokenService, tokenAccount);
    const int status = co_await secrets_.add(tokenService, tokenAccount, token.toUtf8());
    co_return status == platform::secret_status::success;
}

QCoro::Task<> AuthStore::deleteToken()
{
    co_await secrets_.remove(tokenService, tokenAccount);
}

void AuthStore::addBuildHeader(QNetworkRequest& request) const
{
    if (const std::optional<QString> build = buildNumber())
        request.setRawHeader(QByteArrayLiteral("X-Quorvel-Build"), build->toUtf8());
}

QCoro::Task<std::optional<QString>> AuthStore::enroll()
{
    const ServiceRequest call = endpoints::enroll(config_, machineIdentifier());
    QNetworkRequest request = call.toNetworkRequest();
    addBuildHeader(request);
    const std::optional<HttpResponse> response = co_await exchange(session_, request, call.method, call.body);
    if (response && response->status == 200) {
        if (const std::optional<QJsonObject> reply = json::object(response->body)) {
            std::optional<QString> token = json::string(*reply, QStringLiteral("token"));
            if (token && !token->isEmpty())
                co_return token;
        }
    }
    logEnrollmentFailure();
    co_return std::nullopt;
}

QCoro::Task<AuthStore::Enrollment> AuthStore::sharedEnrollment(bool deleteFirst)
{
    const auto start = [this, deleteFirst] { return enrollAndStore(deleteFirst); };
    co_return co_await enrollment_.run(start);
}

QCoro::Task<AuthStore::Enrollment> AuthStore::enrollAndStore(bool deleteFirst)
{
    if (deleteFirst)
        co_await deleteToken();
    std::optional<QString> token = co_await enroll();
    if (!token)
        co_return Enrollment { std::nullopt, texts::cannotEnroll };
    if (!co_await storeToken(*token))
        co_return Enrollment { std::nullopt, texts::cannotSaveCredentials };
    co_return Enrollment { std::move(token), {} };
}

QCoro::Task<bool> AuthStore::ensureEnrolled()
{
    if (co_await readToken()) {
        setEnrollmentError(std::nullopt);
        co_return true;
    }
    setEnrolling(true);
    if (co_await readToken()) {
        setEnrollmentError(std::nullopt);
        setEnrolling(false);
        co_return true;
    }
    const Enrollment enrollment = co_await sharedEnrollment(false);
    if (!enrollment.token) {
        setEnrollmentError(enrollment.failure);
        setEnrolling(false);
        co_return false;
    }
    setEnrollmentError(std::nullopt);
    setEnrolling(false);
    co_return true;
}

QCoro::Task<std::optional<HttpResponse>> AuthStore::sendAuthorized(ServiceRequest call, QString token)
{
    QNetworkRequest request = call.toNetworkRequest();
    request.setRawHeader(QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + token.toUtf8());
    addBuildHeader(request);
    // The token must never follow a redirect to another origin.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    co_return co_await exchange(session_, request, call.method, call.body);
}

QCoro::Task<AuthorizedResult> AuthStore::authorizedRequest(RequestBuilder build)
{
    std::optional<QString> token = co_await readToken();
    if (!token) {
        const Enrollment enrollment = co_await sharedEnrollment(false);
        if (!enrollment.token)
            co_return AuthorizedResult::failure(enrollment.failure);
        token = enrollment.token;
    }

    // Arguments of a co_await are named locals: GCC 12 mishandles temporaries there.
    const ServiceRequest firstCall = build();
    const std::optional<HttpResponse> first = co_await sendAuthorized(firstCall, *token);
    if (!first)
        co_return AuthorizedResult::failure(texts::cannotReach);
    if (first->status != 401)
        co_return AuthorizedResult::response(first->status, first->body);

    // The rejected token goes first, unless another caller's enrollment is already replacing it.
    const Enrollment renewal = co_await sharedEnrollment(true);
    if (!renewal.token)
        co_return AuthorizedResult::failure(renewal.failure);
    const std::optional<QString> renewed = renewal.token;

    const ServiceRequest secondCall = build();
    const std::optional<HttpResponse> second = co_await sendAuthorized(secondCall, *renewed);
    if (!second)
        co_return AuthorizedResult::failure(texts::cannotReach);
    if (second->status == 401)
        co_return AuthorizedResult::failure(texts::cannotVerify);
    co_return AuthorizedResult::response(second->status, second->body);
}

std::optional<QString> AuthStore::updateRequiredMessage(qint64 status, const QJsonObject& reply)
{
    if (status == 426 || json::string(reply, QStringLiteral("error")) == QStringLiteral("update_required"))
        return texts::updateRequired;
    return std::nullopt;
}

QCoro::Task<AuthorizedResult> AuthStore::sendCall(ServiceRequest request)
{
    RequestBuilder build = [request] { return request; };
    co_return co_await authorizedRequest(std::move(build));
}

QCoro::Task<AuthorizedResult> AuthStore::balance()
{
    return sendCall(endpoints::balance(config_, machineIdentifier()));
}

QCoro::Task<AuthorizedResult> AuthStore::history()
{
    return sendCall(endpoints::history(config_, machineIdentifier()));
}

QCoro::Task<AuthorizedResult> AuthStore::generate(QJsonObject body)
{
    return sendCall(endpoints::generate(config_, body));
}

QCoro::Task<AuthorizedResult> AuthStore::updateClip(QString action, QString clip, QString title, QString user)
{
    return sendCall(endpoints::updateClip(config_, action, clip, title, user));
}

QCoro::Task<AuthorizedResult> AuthStore::debugAccess(QString machine, QString token)
{
    return sendCall(endpoints::debugAccess(config_, machine, token));
}

QCoro::Task<PromptCheckResult> AuthStore::vetPrompt(PromptCheckRequest check)
{
    const ServiceRequest call = endpoints::vetPrompt(config_, check);
    const AuthorizedResult result = co_await sendCall(call);
    co_return interpretPromptCheck(result);
}

QCoro::Task<std::optional<HttpResponse>> AuthStore::pollJob(QString jobId)
{
    const ServiceRequest call = endpoints::job(config_, jobId);
    const QNetworkRequest request = call.toNetworkRequest();
    co_return co_await exchange(session_, request, call.method, call.body);
}

void AuthStore::setEnrollmentError(std::optional<QString> text)
{
    if (enrollmentError_ == text)
        return;
    enrollmentError_ = std::move(text);
    emit enrollmentErrorChanged();
}

void AuthStore::setEnrolling(bool enrolling)
{
    if (enrolling_ == enrolling)
        return;
    enrolling_ = enrolling;
    emit enrollingChanged();
}

} // namespace quorvel::app
