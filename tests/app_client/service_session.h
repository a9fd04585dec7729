#pragma once
// A client enrolled with a reference service that the test starts, a clip generated there, and
// what the service's own pages and community feed answer.

#include "app/client/service_json.h"
#include "fixture.h"
#include "support/service_process.h"

#include <QCoroNetworkReply>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QNetworkReply>

namespace quorvel::testing {

// A GET, or a form POST when `form` is given.
inline QCoro::Task<app::HttpResponse> fetch(QNetworkAccessManager& session, QUrl url, QByteArray form = {})
{
    QNetworkRequest request(url);
    request.setTransferTimeout(10000);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    std::unique_ptr<QNetworkReply> reply(form.isNull() ? session.get(request) : session.post(request, form));
    co_await qCoro(reply.get()).waitForFinished();
    co_return app::HttpResponse { reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
        reply->readAll() };
}

class ServiceSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(QUORVEL_BIN_DIR "/quorvel-service")) << "the reference service is not built";
        ASSERT_TRUE(service.start()) << service.errorText().toStdString();
        auth = std::make_unique<app::AuthStore>(
            session, secrets, identity, system, app::ServiceConfig { service.baseUrl() });
        ASSERT_TRUE(await(auth->ensureEnrolled()));
    }

    // Runs `submission` through `store` to its end; the clip's address, empty when there is none.
    QString generate(app::GenerationStore& store, const app::GenerationSubmission& submission)
    {
        if (!store.start(submission) || !finishes(store, 60000))
            return {};
        return store.clipURL().value_or(QString());
    }

    // The community feed's entry for `clip`; none when the feed does not list it.
    std::optional<QJsonObject> feedEntry(const QString& clip)
    {
        const QUrl feed(service.baseUrl() + "/feed?t=" + QString::number(QDateTime::currentSecsSinceEpoch())
            + "&user=" + auth->machineIdentifier());
        const app::HttpResponse reply = await(fetch(session, feed));
        for (const QJsonValue& entry : app::json::object(reply.body).value_or(QJsonObject()).value("videos").toArray())
            if (entry["url"].toString() == clip)
                return entry.toObject();
        return std::nullopt;
    }

    ServiceProcess service;
    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    ManualClock clock;
    ManualSleeper sleeper { clock };
    std::unique_ptr<app::AuthStore> auth;
};

} // namespace quorvel::testing
