#pragma once
// A create screen model over one service, with scripted draws, in-memory settings and a manual
// clock, counting what it asked the window host to do.

#include "app/client/auth_store.h"
#include "app/client/generation_store.h"
#include "app/client/user_defaults.h"
#include "app/create/create_view.h"
#include "support/coro.h"
#include "support/fake_platform.h"
#include "support/loopback_http_server.h"
#include "support/manual_clock.h"
#include "support/memory_preferences.h"
#include "support/memory_secret_store.h"

#include <QNetworkAccessManager>
#include <QTest>

#include <deque>
#include <memory>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace quorvel::create::createTesting {

using testing::CannedReply;

inline CannedReply json(int status, QByteArray body)
{
    return CannedReply { status, {}, std::move(body) };
}

// Plays back the given indices, then zeros.
class ScriptedIndices final : public RandomIndexSource {
public:
    std::size_t index(std::size_t count) override
    {
        if (next.empty())
            return 0;
        const std::size_t value = next.front();
        next.pop_front();
        return value % count;
    }
    std::deque<std::size_t> next;
};

inline QCoro::Task<bool> noDebugAccess()
{
    co_return false;
}

// A screen over one service (a loopback fault server unless a base URL is given).
class Screen {
public:
    explicit Screen(const QString& baseUrl, const QString& build = QStringLiteral("42"))
    {
        system.main = platform::BundleInfo {};
        system.main->version = build;
        auth = std::make_unique<app::AuthStore>(session, secrets, identity, system, app::ServiceConfig { baseUrl });
        generation = std::make_unique<app::GenerationStore>(*auth, app::DebugSources { identity, secrets }, sleeper);
        view = std::make_unique<CreateView>(CreateServices { *auth, *generation, observedDefaults, identity, sleeper,
            random, noDebugAccess, { [this] { ++closes; }, [this] { ++upgrades; } } });
    }

    // Runs the whole generate action; false when it did not end within ten seconds.
    bool generate()
    {
        testing::await(view->generate());
        return QTest::qWaitFor([this] { return !view->checkingPrompt(); }, 10000);
    }

    QNetworkAccessManager session;
    testing::MemorySecretStore secrets;
    testing::FakeMachineIdentity identity;
    testing::FakeOperatingSystem system;
    testing::FakeDesktopAppearance desktop;
    testing::ManualClock clock;
    testing::ManualSleeper sleeper { clock };
    testing::MemoryPreferenceSuite defaults;
    app::UserDefaults observedDefaults { defaults };
    ScriptedIndices random;
    std::unique_ptr<app::AuthStore> auth;
    std::unique_ptr<app::GenerationStore> generation;
    std::unique_ptr<CreateView> view;
    int closes = 0;
    int upgrades = 0;
};

} // namespace quorvel::create::createTesting
