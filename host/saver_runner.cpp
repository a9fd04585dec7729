#include "host/saver_runner.h"

#include "host/dismissal_filter.h"
#include "host/module_loader.h"
#include "host/saver_session.h"
#include "host/screen_modules.h"
#include "host/settings_pane.h"
#include "host/stages.h"
#include "platform/foreign_window.h"
#include "platform/log.h"
#include "platform/termination.h"

#include <QApplication>
#include <QPalette>
#include <QScreen>
#include <QTextStream>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <exception>
#include <functional>

namespace quorvel::saver {
namespace {

using platform::LogCategory;

constexpr QSize kPreviewWindowSize { 480, 270 };

int fail(const QString& message)
{
    QTextStream(stderr) << "quorvel-saver: " << message << Qt::endl;
    platform::log::error(LogCategory::Host, message);
    return kExitFailure;
}

// Runs `views` (a SaverSession or ScreenModules) full-screen until dismissed; `whyNone` says why
// nothing could be shown.
template <typename Views> int runFullScreen(Views& views, const std::function<QString()>& whyNone)
{
    DismissalFilter dismissal;
    qApp->installEventFilter(&dismissal);
    QObject::connect(&dismissal, &DismissalFilter::dismissed, qApp, [&views] {
        views.stop();
        QCoreApplication::exit(0);
    });
    if (views.start(screenTargets()) == 0) {
        views.stop();
        return fail(whyNone());
    }
    // Monitors come and go while the saver runs: a new one gets its own view, an unplugged one's
    // view is stopped so it does not pile onto another screen.
    QObject::connect(qApp, &QGuiApplication::screenAdded, qApp, [&views](QScreen* screen) {
        if (!views.isStopped())
            views.start({ screenTarget(screen) });
    });
    QObject::connect(
        qApp, &QGuiApplication::screenRemoved, qApp, [&views](QScreen* screen) { views.stopScreen(screen->name()); });
    // The saver must not end because a view's window closed under it (a module or a display gone).
    QApplication::setQuitOnLastWindowClosed(false);
    const int code = QApplication::exec();
    qApp->removeEventFilter(&dismissal);
    views.stop();
    return code;
}

int runFullScreen(std::unique_ptr<SaverPrincipal> principal)
{
    FullScreenStage stage;
    SaverSession session(std::move(principal), stage);
    return runFullScreen(session, [] { return QStringLiteral("no screen could show the screensaver"); });
}

// No bundle given: every screen plays what its own choice in the wallpaper store selects.
int runEachScreensChoice(const SaverEnvironment& environment)
{
    FullScreenStage stage;
    ScreenModules modules(
        environment.locator, stage,
        [](const QString& message) {
            QTextStream(stderr) << "quorvel-saver: " << message << Qt::endl;
            platform::log::error(LogCategory::Host, message);
        },
        [&environment](const QString& path) { return loadUnlessTurnedOff(environment.elections, path); });
    return runFullScreen(modules, [&modules] { return modules.firstFailure(); });
}

int runPreview(std::unique_ptr<SaverPrincipal> principal)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Screen Saver Preview"));
    window.resize(kPreviewWindowSize);
    window.setAutoFillBackground(true);
    QPalette black = window.palette();
    black.setColor(QPalette::Window, Qt::black);
    window.setPalette(black);
    window.show();
    ContainerStage stage(&window);
    SaverSession session(std::move(principal), stage);
    if (session.start({ stage.target() }) == 0)
        return fail(QStringLiteral("the module could not make a preview"));
    const int code = QApplication::exec();
    session.stop();
    return code;
}

// The pane opens even without a module to preview: when to start and the on/off switch matter most
// then.
int runSettings(std::unique_ptr<SaverPrincipal> principal, SaverEnvironment& environment)
{
    SaverSettings settings(environment.kit, environment.elections);
    SettingsPane pane(std::move(principal), environment.workspace, environment.hostPath, settings);
    pane.show();
    if (!pane.start())
        platform::log::error(LogCategory::Host, QStringLiteral("the preview could not start"));
    return QApplication::exec();
}

// Loads the module to run; null, with the failure printed, when there is none.
std::unique_ptr<SaverPrincipal> principalFor(
    const SaverOptions& options, SaverEnvironment& environment, std::unique_ptr<LoadedModule>& module)
{
    QString bundlePath = options.bundlePath;
    if (bundlePath.isEmpty()) {
        auto located = environment.locator.selectedModuleBundle();
        if (auto* error = std::get_if<LocateError>(&located)) {
            fail(error->message);
            return nullptr;
        }
        bundlePath = std::get<QString>(located);
    }
    LoadResult loaded = loadUnlessTurnedOff(environment.elections, bundlePath);
    if (auto* error = std::get_if<LoadError>(&loaded)) {
        fail(error->message());
        return nullptr;
    }
    module = std::move(std::get<std::unique_ptr<LoadedModule>>(loaded));
    platform::log::info(LogCategory::Host, QStringLiteral("loaded %1").arg(module->libraryPath()));
    QString error;
    std::unique_ptr<SaverPrincipal> principal = makeModulePrincipal(module->module(), &error);
    if (!principal)
        fail(error);
    return principal;
}

int runInWindow(std::unique_ptr<SaverPrincipal> principal, quint64 windowId)
{
    const std::optional<QRect> frame = platform::foreignWindowGeometry(windowId);
    if (!frame || frame->isEmpty())
        return fail(QStringLiteral("no such window: 0x%1").arg(windowId, 0, 16));
    std::unique_ptr<QWindow> foreign(QWindow::fromWinId(WId(windowId)));
    ForeignWindowStage stage(foreign.get(), *frame);
    const SaverTarget target = stage.target();
    SaverSession session(std::move(principal), stage);
    if (session.start({ target }) == 0)
        return fail(QStringLiteral("the module could not draw into the window"));
    QApplication::setQuitOnLastWindowClosed(false);
    const int code = QApplication::exec();
    session.stop();
    return code;
}

} // namespace

int runSaver(const SaverOptions& options, SaverEnvironment& environment)
{
    // A daemon or the application ends the saver with SIGTERM; views are still stopped and torn
    // down in order, so sessions are closed and nothing is left declared.
    platform::TerminationWatcher termination;
    QObject::connect(&termination, &platform::TerminationWatcher::terminationRequested, qApp, [](int signalNumber) {
        platform::log::info(LogCategory::Host, QStringLiteral("signal %1: quitting").arg(signalNumber));
        // exit(), not quit(): quit() closes every window first, and views must be stopped before
        // their windows go away.
        QCoreApplication::exit(0);
    });

    std::unique_ptr<platform::RunningDeclaration> declaration;
    if (options.mode == SaverMode::FullScreen)
        declaration
            = environment.workspace.declareRunning(QString::fromLatin1(kEngineBundleIdentifier), environment.hostPath);
    if (options.bundlePath.isEmpty() && options.mode == SaverMode::FullScreen)
        return runEachScreensChoice(environment);

    std::unique_ptr<LoadedModule> module; // declared first: outlives the principal
    std::unique_ptr<SaverPrincipal> principal = principalFor(options, environment, module);
    if (!principal && options.mode != SaverMode::Settings)
        return kExitFailure;

    switch (options.mode) {
    case SaverMode::FullScreen:
        return runFullScreen(std::move(principal));
    case SaverMode::Preview:
        return runPreview(std::move(principal));
    case SaverMode::Settings:
        return runSettings(std::move(principal), environment);
    case SaverMode::Window:
        return runInWindow(std::move(principal), options.windowId);
    case SaverMode::Agent:
    case SaverMode::IdleTime:
        break; // run by their own runners
    }
    return kExitFailure;
}

} // namespace quorvel::saver
