#include "app/shell/quorvel_app.h"

#include "app/client/auth_store.h"
#include "app/client/debug_credentials.h"
#include "app/client/generation_store.h"
#include "platform/operating_system.h"
#include "platform/updater.h"

namespace quorvel::app {

namespace {

QString shortVersionOf(const platform::OperatingSystem& system)
{
    const auto bundle = system.mainBundle();
    return bundle && bundle->shortVersion ? *bundle->shortVersion : QStringLiteral("1.0");
}

} // namespace

QuorvelApp::QuorvelApp(AppServices services, QObject* parent)
    : QObject(parent)
    , services_(std::move(services))
    , updates_(std::make_unique<UpdateCheckModel>(
          services_.updater, services_.location.workspace, shortVersionOf(services_.system)))
{
    services_.updater.start();
}

// Windows go first (they observe the stores), then the stores in reverse order of dependence.
QuorvelApp::~QuorvelApp()
{
    windows_.setHost(nullptr);
    generation_.reset();
    auth_.reset();
    appLocation_.reset();
}

AuthStore& QuorvelApp::auth()
{
    if (!auth_)
        auth_ = std::make_unique<AuthStore>(
            services_.network, services_.secrets, services_.identity, services_.system, services_.service);
    return *auth_;
}

GenerationStore& QuorvelApp::generation()
{
    if (!generation_)
        generation_ = std::make_unique<GenerationStore>(
            auth(), DebugSources { services_.identity, services_.secrets }, services_.location.sleeper);
    return *generation_;
}

AppLocationManager& QuorvelApp::appLocation()
{
    if (!appLocation_)
        appLocation_ = std::make_unique<AppLocationManager>(services_.runningBundlePath, services_.location);
    return *appLocation_;
}

QList<MenuItem> QuorvelApp::applicationMenu()
{
    return {
        { MenuCommand::about, QStringLiteral("About Quorvel"), {} },
        { MenuCommand::checkForUpdates, QStringLiteral("Check for Updates…"), {} },
        { MenuCommand::quit, QStringLiteral("Quit Quorvel"), QStringLiteral("Ctrl+Q") },
    };
}

QString QuorvelApp::versionNumber() const
{
    const auto bundle = services_.system.mainBundle();
    const QString shortVersion = bundle && bundle->shortVersion ? *bundle->shortVersion : QStringLiteral("1.0");
    const QString build = bundle && bundle->version ? *bundle->version : QStringLiteral("0");
    return QStringLiteral("%1 (%2)").arg(shortVersion, build);
}

} // namespace quorvel::app
