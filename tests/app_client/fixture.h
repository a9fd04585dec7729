#pragma once
// Doubles for the platform facts the service client reads, and a client and generation store
// wired to a loopback server, in-memory doubles and a manual clock.

#include "app/client/auth_store.h"
#include "app/client/debug_credentials.h"
#include "app/client/generation_store.h"
#include "support/coro.h"
#include "support/fake_platform.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"
#include "support/manual_clock.h"
#include "support/memory_secret_store.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

// Texts in failure messages as text rather than as UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace quorvel::testing {

namespace texts = app::texts;

// The app as if built with `build` as its build number, which requests carry in "X-Quorvel-Build".
inline FakeOperatingSystem builtAs(const QString& build)
{
    FakeOperatingSystem system;
    system.main = platform::BundleInfo {};
    system.main->version = build;
    return system;
}

using Reply = CannedReply;
inline Reply json(int status, QByteArray body)
{
    return Reply { status, {}, std::move(body) };
}
inline Reply cut(QByteArray body)
{
    return Reply { 200, {}, std::move(body), Reply::Mode::CutMidBody };
}
inline const Reply silent { 200, {}, {}, Reply::Mode::Stall };
inline QByteArray tokenReply(const QByteArray& token)
{
    return "{\"token\":\"" + token + "\"}";
}
inline QJsonObject bodyOf(const ReceivedRequest& request)
{
    return QJsonDocument::fromJson(request.body).object();
}
inline const QPair<QString, QString> apiTokenItem { "com.quorvel.api-token", "machine" };
inline const QPair<QString, QString> debugTokenItem { "com.quorvel.debug-token", "developer" };

// An event loop rather than qWaitFor's 10 ms naps keeps a 179-poll run fast.
inline bool finishes(app::GenerationStore& generation, int timeoutMs = 10000)
{
    if (!generation.isRunning())
        return true;
    QEventLoop loop;
    QObject::connect(&generation, &app::GenerationStore::isRunningChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return !generation.isRunning();
}

class ServiceTest : public ::testing::Test {
protected:
    app::ServiceConfig config() const { return app::ServiceConfig { server.url().toString() }; }
    std::optional<QByteArray> storedToken() const
    {
        return secrets.items.contains(apiTokenItem) ? std::optional(secrets.items.value(apiTokenItem)) : std::nullopt;
    }
    app::DebugSources debugSources()
    {
        return { identity, secrets, app::DebugCredentials::machineValue(*identity.en0) };
    }
    static app::GenerationSubmission recipe(const QString& prompt = QStringLiteral("a lighthouse in fog"))
    {
        return { prompt, "noir", "push-in", "dreamy", true, "none", "@fog", "3F2504E0-4F89-11D3-9A0C-0305E82C3301" };
    }

    LoopbackHttpServer server;
    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system = builtAs(QStringLiteral("42"));
    app::AuthStore auth { session, secrets, identity, system, config() };
    ManualClock clock;
    ManualSleeper sleeper { clock };
    app::GenerationStore store { auth, debugSources(), sleeper };
};

} // namespace quorvel::testing
