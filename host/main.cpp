// quorvel-saver: the screensaver host. Runs a screensaver module full-screen, as a preview, as the
// settings pane, or inside another program's window.
#include "host/module_locator.h"
#include "host/rendering.h"
#include "host/saver_options.h"
#include "host/saver_runner.h"
#include "host/store_module_locator.h"
#include "platform/workspace.h"

#include <QApplication>
#include <QTextStream>

using namespace quorvel;

int main(int argc, char** argv)
{
    saver::prepareSaverRendering();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvel-saver"));

    const auto parsed
        = saver::parseSaverOptions(QApplication::arguments().mid(1), qEnvironmentVariable("XSCREENSAVER_WINDOW"));
    if (const auto* error = std::get_if<saver::OptionsError>(&parsed)) {
        QTextStream(stderr) << "quorvel-saver: " << error->message << "\n" << saver::saverUsage();
        return saver::kExitUsage;
    }
    const saver::SaverOptions& options = std::get<saver::SaverOptions>(parsed);
    if (options.help) {
        QTextStream(stdout) << saver::saverUsage();
        return 0;
    }

    platform::DesktopWorkspace workspace;
    const saver::StoreModuleLocator locator;
    saver::SaverEnvironment environment { workspace, locator, QApplication::applicationFilePath() };
    return saver::runSaver(options, environment);
}
