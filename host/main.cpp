// quorvel-saver: the screensaver host. Runs a screensaver module full-screen, as a preview, as the
// settings pane, or inside another program's window; as the idle agent it starts itself after the
// idle time.
#include "host/agent_runner.h"
#include "host/module_election.h"
#include "host/module_locator.h"
#include "host/rendering.h"
#include "host/saver_options.h"
#include "host/saver_runner.h"
#include "host/store_module_locator.h"
#include "kit/tessary.h"
#include "platform/preferences.h"
#include "platform/screens.h"
#include "platform/workspace.h"

#include <QApplication>
#include <QTextStream>

#include <cstring>
#include <memory>

using namespace quorvel;

namespace {

// Setting or printing the idle time needs no display.
bool needsNoDisplay(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--idle-time") == 0 || std::strncmp(argv[i], "--idle-time=", 12) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> app;
    if (needsNoDisplay(argc, argv)) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        saver::prepareSaverRendering();
        app = std::make_unique<QApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-saver"));

    const auto parsed
        = saver::parseSaverOptions(QCoreApplication::arguments().mid(1), qEnvironmentVariable("XSCREENSAVER_WINDOW"));
    if (const auto* error = std::get_if<saver::OptionsError>(&parsed)) {
        QTextStream(stderr) << "quorvel-saver: " << error->message << "\n" << saver::saverUsage();
        return saver::kExitUsage;
    }
    const saver::SaverOptions& options = std::get<saver::SaverOptions>(parsed);
    if (options.help) {
        QTextStream(stdout) << saver::saverUsage();
        return 0;
    }

    auto preferences = std::make_shared<platform::FilePreferences>(QStringLiteral("com.quorvel.saver"));
    if (options.mode == saver::SaverMode::IdleTime) {
        kit::Tessary kit(kit::KitEnvironment::system(preferences, nullptr));
        return saver::runIdleTime(options, kit);
    }
    kit::Tessary kit(kit::KitEnvironment::system(preferences, std::make_shared<platform::QtScreens>()));
    platform::DesktopWorkspace workspace;
    const saver::StoreModuleLocator locator;
    const std::unique_ptr<saver::ModuleElections> elections = saver::makeSystemModuleElections();
    saver::SaverEnvironment environment { workspace, locator, QCoreApplication::applicationFilePath(), *elections,
        kit };
    if (options.mode == saver::SaverMode::Agent)
        return saver::runAgent(environment, *preferences);
    return saver::runSaver(options, environment);
}
