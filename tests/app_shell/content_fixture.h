#pragma once
// A main window content over the app's real stores against a loopback service, a PluginManager on
// the real registry tool and a whole kit in a temporary home, recorded windows and workspace calls,
// a daemon list that remembers what it was asked, the desktop's idle watch and daemons as told, and
// the idle agent's real login entry in the temporary home with its start recorded.

#include "app/client/auth_store.h"
#include "app/client/generation_store.h"
#include "app/client/user_defaults.h"
#include "app/shell/content_view.h"
#include "app/shell/quorvel_app.h"
#include "app_install/install_fixture.h"
#include "platform/autostart.h"
#include "platform/idle_monitor.h"
#include "platform/screensaver_daemon.h"
#include "platform/session_screensavers.h"
#include "shell_doubles.h"
#include "support/loopback_http_server.h"
#include "support/memory_preferences.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace quorvel::app::contentTesting {

using quorvel::testing::CannedReply;
using testing::kExtensionId;
using testing::kTool;
using testing::writeExtension;
using testing::writeScript;

inline CannedReply json(int status, QByteArray body)
{
    return CannedReply { status, {}, std::move(body) };
}

class RecordingDaemon final : public platform::ScreensaverDaemon {
public:
    QString configurationName() const override { return QStringLiteral("~/.xscreensaver"); }
    platform::DaemonEntryResult addSaverEntry() override
    {
        ++requests;
        return next;
    }
    platform::DaemonEntryResult next { platform::DaemonEntryResult::Outcome::added, {} };
    int requests = 0;
};

// Says whether idle can be watched; never reports a spell.
class StubIdleMonitor final : public platform::IdleMonitor {
public:
    QString unavailableReason() const override { return reason; }
    QString mechanism() const override { return QStringLiteral("a test"); }
    void watch(std::chrono::milliseconds) override { }
    std::optional<std::chrono::milliseconds> idleTime() const override { return std::nullopt; }
    QString reason; // empty: available
};

class ToldSessionScreensavers final : public platform::SessionScreensavers {
public:
    std::optional<platform::RunningScreensaverDaemon> runningDaemon() const override
    {
        if (!running)
            return std::nullopt;
        return platform::RunningScreensaverDaemon { *running, 4242 };
    }
    bool isInstalled(platform::ScreensaverDaemonKind kind) const override { return installed.contains(kind); }
    std::optional<platform::ScreensaverDaemonKind> running;
    QList<platform::ScreensaverDaemonKind> installed;
};

inline QCoro::Task<bool> countDebugCheck(int* count)
{
    ++*count;
    co_return false;
}

// A job the service reports as running (with `log`) until `finish` gives it its end.
struct ScriptedJob {
    QByteArray log = "queued\nvetting: ok\nkeyframe...";
    std::optional<QByteArray> end;
};

struct ContentFixture : testing::InstallFixture {
    quorvel::testing::AppDoubles doubles;
    quorvel::testing::LoopbackHttpServer server;
    quorvel::testing::MemoryPreferenceSuite defaults;
    // What the windows read the settings through.
    UserDefaults observedDefaults { defaults };
    RecordingDaemon daemon;
    StubIdleMonitor idle;
    ToldSessionScreensavers sessions;
    bool themeInstalled = false;
    platform::XdgAutostart autostart { home.filePath(QStringLiteral("config")) };
    kit::fixtures::ScriptedProcessRunner agentRunner;
    QString saverPath = appPath + QStringLiteral("/Contents/MacOS/quorvel-saver");
    QStringList opened;
    int debugChecks = 0;
    ScriptedJob job;
    std::unique_ptr<QuorvelApp> app;
    std::unique_ptr<ContentView> view;
    // The view last made, also once a widget took it over.
    ContentView* live = nullptr;

    ContentFixture()
    {
        server.serve("/enroll", json(200, R"({"token":"t"})"));
        server.serve("/balance", json(200, R"({"credits":3,"paid":false})"));
        server.serve("/generate", json(200, R"({"job":"j"})"));
        server.serve("/jobs/j", [this](const quorvel::testing::ReceivedRequest&) {
            if (job.end)
                return json(200, *job.end);
            QJsonObject running { { "done", false }, { "log", QString::fromUtf8(job.log) } };
            return json(200, QJsonDocument(running).toJson());
        });
    }

    // The app runs from `bundle` (inside the applications folder unless told otherwise).
    // Registry queries go through `runner` to `tool` (the real tool unless told otherwise).
    void make(const QString& bundle = {}, std::optional<QString> tool = kTool,
        std::shared_ptr<platform::ProcessRunner> runner = {})
    {
        view.reset();
        const QString applications = home.filePath(QStringLiteral("Applications"));
        AppServices services = doubles.services(bundle.isEmpty() ? appPath : bundle, { applications });
        services.service = ServiceConfig { server.url().toString() };
        app = std::make_unique<QuorvelApp>(std::move(services));
        view = std::make_unique<ContentView>(
            ContentServices { app->auth(), app->generation(), app->appLocation(), observedDefaults, doubles.workspace,
                daemon, PluginManagerServices { runner ? runner : tools, tool, system, env },
                [this] { return countDebugCheck(&debugChecks); }, [this](const QString& id) { opened << id; },
                server.url(QStringLiteral("/cdn/")).toString(), startServices() });
        live = view.get();
        settleAll();
    }

    StartServices startServices()
    {
        return { idle, sessions, [this] { return themeInstalled; }, autostart, agentRunner, saverPath };
    }

    // Until the manager's start-up work is done (also with a scripted runner).
    void settleAll()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !live->pluginManager().isLoading(); }, 10000));
        settle(live->pluginManager());
    }

    void onboarded() { defaults.values.insert(ContentView::hasOnboardedKey, true); }

    GenerationSubmission submission() const
    {
        GenerationSubmission s;
        s.prompt = QStringLiteral("a lighthouse in fog");
        s.style = QStringLiteral("Dreamy");
        s.motion = QStringLiteral("Slow Push");
        s.vibe = QStringLiteral("Calm");
        s.handle = QStringLiteral("ana");
        return s;
    }

    // Starts a job and waits until its first stage shows.
    void startJob()
    {
        ASSERT_TRUE(app->generation().start(submission())) << app->generation().error().value_or("").toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return live->stage() == QStringLiteral("Creating the keyframe…"); }, 10000))
            << live->stage().toStdString();
    }

    void finishJob(const QByteArray& end)
    {
        job.end = end;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !live->isGenerating(); }, 10000));
    }

    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 10000); }
};

} // namespace quorvel::app::contentTesting
