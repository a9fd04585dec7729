#pragma once
// The Mac is the account: it enrolls once for a bearer token, keeps the token in the secret
// store, and sends it on every later call, enrolling again once when the service rejects it.

#include "app/client/authorized_result.h"
#include "app/client/prompt_check.h"
#include "app/client/service_config.h"
#include "app/client/service_request.h"
#include "app/client/single_flight.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace quorvel::platform {
class MachineIdentity;
class OperatingSystem;
class SecretStore;
} // namespace quorvel::platform

namespace quorvel::app {

class AuthStore final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<QString> enrollmentError READ enrollmentError NOTIFY enrollmentErrorChanged)
    Q_PROPERTY(bool enrolling READ enrolling NOTIFY enrollingChanged)

public:
    static inline const QString tokenService = QStringLiteral("com.quorvel.api-token");
    static inline const QString tokenAccount = QStringLiteral("machine");

    // Returns the complete request of one attempt; called once per attempt and must give an
    // equal request each time.
    using RequestBuilder = std::function<ServiceRequest()>;

    // Every dependency must outlive the store; `session` is the process's one shared session.
    AuthStore(QNetworkAccessManager& session, platform::SecretStore& secrets, const platform::MachineIdentity& identity,
        const platform::OperatingSystem& system, ServiceConfig config, QObject* parent = nullptr);

    std::optional<QString> enrollmentError() const { return enrollmentError_; }
    bool enrolling() const { return enrolling_; }
    const ServiceConfig& config() const { return config_; }

    // The user id of the whole system; "unknown" when the platform cannot tell.
    QString machineIdentifier() const;
    // CFBundleVersion of the running app; none when it has none.
    std::optional<QString> buildNumber() const;

    // A stored, non-empty, valid UTF-8 token; none otherwise.
    QCoro::Task<std::optional<QString>> readToken();
    // Delete, then add; true when the add succeeded.
    QCoro::Task<bool> storeToken(QString token);
    QCoro::Task<> deleteToken();

    // The /enroll exchange; the token is not stored here.
    QCoro::Task<std::optional<QString>> enroll();
    // Makes sure a token is stored, publishing `enrolling` and `enrollmentError` on the way.
    QCoro::Task<bool> ensureEnrolled();
    // Sends the built request with the token and build headers; re-enrolls and retries once on 401.
    // Never touches `enrollmentError` or `enrolling`.
    // Enrollment (with the store of its token) runs once at a time across ensureEnrolled and every
    // authorized request: a caller that needs one while another is running shares its outcome.
    QCoro::Task<AuthorizedResult> authorizedRequest(RequestBuilder build);

    // The update-required text for status 426 or `error` "update_required"; none otherwise.
    static std::optional<QString> updateRequiredMessage(qint64 status, const QJsonObject& reply);

    // Screens that read the balance publish its failure here, and clear it on "Retry".
    void setEnrollmentError(std::optional<QString> text);

    // The endpoints, each through authorizedRequest.
    QCoro::Task<AuthorizedResult> balance();
    QCoro::Task<AuthorizedResult> history();
    QCoro::Task<AuthorizedResult> generate(QJsonObject body);
    QCoro::Task<AuthorizedResult> updateClip(QString action, QString clip, QString title, QString user);
    QCoro::Task<AuthorizedResult> debugAccess(QString machine, QString token);
    QCoro::Task<PromptCheckResult> vetPrompt(PromptCheckRequest check);
    // The job poll: no token, no build header; none when the exchange did not complete.
    QCoro::Task<std::optional<HttpResponse>> pollJob(QString jobId);

signals:
    void enrollmentErrorChanged();
    void enrollingChanged();

private:
    // A freshly enrolled and stored token, or the failure text that says why there is none.
    struct Enrollment {
        std::optional<QString> token;
        QString failure;
    };
    // Joins the enrollment in flight, or starts one: after deleting the stored token when
    // `deleteFirst`, then /enroll and the store of its token.
    QCoro::Task<Enrollment> sharedEnrollment(bool deleteFirst);
    QCoro::Task<Enrollment> enrollAndStore(bool deleteFirst);
    QCoro::Task<std::optional<HttpResponse>> sendAuthorized(ServiceRequest call, QString token);
    QCoro::Task<AuthorizedResult> sendCall(ServiceRequest request);
    void setEnrolling(bool enrolling);
    void addBuildHeader(QNetworkRequest& request) const;

    QNetworkAccessManager& session_;
    platform::SecretStore& secrets_;
    const platform::MachineIdentity& identity_;
    const platform::OperatingSystem& system_;
    ServiceConfig config_;
    std::optional<QString> enrollmentError_;
    bool enrolling_ = false;
    // Two enrollments storing at once make the secret store's delete-then-add of one of them fail.
    SingleFlight<Enrollment> enrollment_;
};

} // namespace quorvel::app
