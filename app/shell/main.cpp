// Quorvel: one running copy per user, its stores for the whole process, the updater started at
// launch, and the main window.
#include "app/client/debug_credentials.h"
#include "app/client/user_defaults.h"
#include "app/create/create_form.h"
#include "app/create/create_view.h"
#include "app/install/registry_tool.h"
#include "app/library/generation_preview_view.h"
#include "app/library/library_widget.h"
#include "app/library/thumbnail_cache.h"
#include "app/library/upgrade_view.h"
#include "app/shell/app_icon.h"
#include "app/shell/appearance.h"
#include "app/shell/content_view.h"
#include "app/shell/content_widget.h"
#include "app/shell/quit_rule.h"
#include "app/shell/quorvel_app.h"
#include "app/shell/widget_window_host.h"
#include "platform/autostart.h"
#include "platform/clock.h"
#include "platform/desktop_appearance.h"
#include "platform/desktop_entries.h"
#include "platform/file_manager.h"
#include "platform/idle_monitor.h"
#include "platform/linux/frame_grabber_qt.h"
#include "platform/linux/media_player_qt.h"
#include "platform/locations.h"
#include "platform/machine_identity.h"
#include "platform/operating_system.h"
#include "platform/preferences.h"
#include "platform/process_runner.h"
#include "platform/screens.h"
#include "platform/screensaver_daemon.h"
#include "platform/screensaver_theme.h"
#include "platform/secret_store.h"
#include "platform/session_screensavers.h"
#include "platform/single_instance.h"
#include "platform/spaces.h"
#include "platform/symbol_loader.h"
#include "platform/termination.h"
#include "platform/updater.h"
#include "platform/workspace.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QNetworkAccessManager>
#include <QPixmap>

using namespace quorvel;

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvel"));
    QApplication::setOrganizationDomain(QStringLiteral("quorvel.com"));
    QApplication::setDesktopFileName(app::AppLocationManager::desktopEntryId);

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Quorvel"));
    options.addHelpOption();
    const QCommandLineOption open(QStringLiteral("open"),
        QStringLiteral("Also open the window with this id (create, library, preview, upgrade)."), QStringLiteral("id"));
    const QCommandLineOption check(
        QStringLiteral("check-for-updates"), QStringLiteral("Check for updates at once, as the menu command does."));
    options.addOption(open);
    options.addOption(check);
    options.process(application);

    // A second launch brings the running copy forward instead of starting its own stores.
    platform::LocalSocketSingleInstance instance(app::AppLocationManager::desktopEntryId);
    if (instance.claim() == platform::SingleInstance::Claim::HandedOver)
        return 0;

    platform::LinuxOperatingSystem system;
    const auto bundle = system.mainBundle();
    const QString bundlePath = bundle ? bundle->bundlePath : QString();
    QApplication::setApplicationVersion(bundle && bundle->shortVersion ? *bundle->shortVersion : QString());
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(app::drawAppIcon(256))));

    platform::PortalDesktopAppearance appearance;
    app::followDesktopAppearance(application, appearance);

    QNetworkAccessManager network;
    platform::KeychainSecretStore secrets;
    platform::LinuxMachineIdentity identity;
    platform::TimerSleeper sleeper;
    // The screensaver host this app carries (an explicit QUORVEL_SAVER wins), so a copy moved into
    // the applications folder starts and names its own host.
    const QString saverBesideApp = qEnvironmentVariableIsSet("QUORVEL_SAVER")
        ? QString()
        : app::locateBesideApp(QStringLiteral("quorvel-saver"), app::registryToolSearch(system)).value_or(QString());
    platform::DesktopWorkspace workspace(saverBesideApp);
    platform::DynamicSymbolLoader symbols;
    platform::LocalFileManager files;
    platform::XdgDesktopEntries desktopEntries;
    platform::AppcastUpdater updater(
        network, QUrl(platform::appcastUrl()), bundle && bundle->version ? *bundle->version : QStringLiteral("0"));
    const auto declaration = workspace.declareRunning(app::AppLocationManager::desktopEntryId, bundlePath);

    // A polite request to end (the move into the applications folder sends one) closes in order.
    platform::TerminationWatcher termination;
    QObject::connect(&termination, &platform::TerminationWatcher::terminationRequested, &application,
        &QApplication::quit, Qt::QueuedConnection);

    app::AppServices services { network, secrets, identity, system, updater, app::ServiceConfig::fromPlatform(),
        bundlePath,
        { symbols, files, workspace, sleeper, desktopEntries, platform::applicationsFolders(),
            QApplication::applicationPid(), [] { QApplication::quit(); }, [&instance] { instance.release(); },
            [&instance] { instance.claim(); } } };
    app::QuorvelApp quorvel(std::move(services));
    // What the create window reads besides the app's stores; made before the host so that every
    // window goes first.
    platform::SystemClock clock;
    // One view of the app's settings; the kit also reads the store per display and space from it,
    // synthesised from this desktop's screens.
    const auto screens = std::make_shared<platform::QtScreens>();
    const auto preferences = std::make_shared<platform::FilePreferences>(
        QStringLiteral("com.quorvel.Quorvel"), QString(), std::make_shared<platform::SynthesizedSpaces>(screens));
    const std::shared_ptr<platform::PreferenceSuite> standard = preferences->standard();
    // Every window and check reads and writes the settings through this one object, so a change
    // made anywhere shows everywhere at once.
    app::UserDefaults defaults(*standard);
    // The developer-mode check each window starts for itself.
    const auto debugAccess = [&identity, &secrets, &defaults](app::QuorvelApp& shell) {
        return [&shell, &identity, &secrets, &defaults] {
            return app::checkDebugAccess(shell.auth(), app::DebugSources { identity, secrets }, defaults);
        };
    };
    // What the main window reads besides the stores; made before the host, like the rest. A
    // packaged copy lists the daemons' program the package installed, whose description the
    // daemon's settings show.
    platform::XResourceScreensaverDaemon screensaverDaemon(
        QString(), platform::packagedDaemonProgram(bundlePath).value_or(saverBesideApp));
    // How the screensaver starts by itself here: the desktop's idle watch or its own daemon, and
    // the idle agent this copy's host runs.
    const std::unique_ptr<platform::IdleMonitor> idle = platform::makeSessionIdleMonitor();
    platform::ProcessSessionScreensavers sessionScreensavers;
    platform::XdgAutostart autostart;
    platform::QProcessRunner agentRunner;
    const QString saverPath = saverBesideApp.isEmpty() ? platform::saverToolPath() : saverBesideApp;
    create::SystemRandomIndexSource random;
    app::WidgetWindowHost host(quorvel);

    host.setContent(app::windowIds::create, [&](app::QuorvelApp& shell) -> QWidget* {
        auto* view = new create::CreateView(
            { shell.auth(), shell.generation(), defaults, identity, sleeper, random, debugAccess(shell),
                { [&shell] { shell.windows().dismissWindow(app::windowIds::create); },
                    [&shell] { shell.windows().openWindow(app::windowIds::upgrade); } } });
        return new create::CreateForm(view, network, platform::cdnBaseUrl(), clock, appearance);
    });
    // The library and preview windows share a thumbnail cache that belongs to the host, so a clip
    // decoded for one window or opening is not decoded again for the next.
    auto* thumbnails = new library::ThumbnailCache(
        std::make_shared<platform::QtFrameGrabber>(), platform::thumbnailCacheDirectory(), &host);
    host.setContent(app::windowIds::library, [thumbnails](app::QuorvelApp& shell) -> QWidget* {
        return new library::LibraryWidget(new library::LibraryView(shell.auth()),
            { platform::QtMediaPlayer::factory(), thumbnails,
                [&shell] { shell.windows().openWindow(app::windowIds::create); } });
    });
    host.setContent(app::windowIds::preview, [thumbnails](app::QuorvelApp& shell) -> QWidget* {
        return new library::GenerationPreviewView(
            new library::GenerationPreviewModel(shell.generation(), platform::QtMediaPlayer::factory()), thumbnails);
    });
    host.setContent(app::windowIds::upgrade, [&](app::QuorvelApp& shell) -> QWidget* {
        return new library::UpgradeView(new library::UpgradeModel(shell.auth(), workspace));
    });
    // The main window's content: onboarding, the main screen and the screensaver's installation.
    host.setMainContent([&](app::QuorvelApp& shell) -> QWidget* {
        auto* view = new app::ContentView({ shell.auth(), shell.generation(), shell.appLocation(), defaults, workspace,
            screensaverDaemon, app::systemPluginManagerServices(system, preferences, screens), debugAccess(shell),
            [&shell](const QString& id) { shell.windows().openWindow(id); }, platform::cdnBaseUrl(),
            { *idle, sessionScreensavers, [] { return platform::isScreensaverThemeInstalled(); }, autostart,
                agentRunner, saverPath } });
        return new app::ContentWidget(view, network);
    });
    QObject::connect(&instance, &platform::SingleInstance::activationRequested, &quorvel,
        [&quorvel] { quorvel.windows().showMainWindow(); });
    // Closing every window leaves a running generation or move alive; a later launch raises the
    // main window over the same stores.
    app::QuitRule quitRule(
        quorvel.generation(), quorvel.appLocation(), quorvel.windows(), [] { QApplication::quit(); });

    quorvel.windows().openMainWindow();
    for (const QString& id : options.values(open))
        quorvel.windows().openWindow(id);
    if (options.isSet(check))
        quorvel.updates().checkForUpdates();
    return application.exec();
}
