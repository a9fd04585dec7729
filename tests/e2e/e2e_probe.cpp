// The end-to-end driver's eyes on the X screen and its hand on the wallpaper store.
//   e2e_probe shot FILE.png          saves the whole screen as a PNG
//   e2e_probe watch SECONDS          samples the centre of the screen every few milliseconds and
//                                    prints one line per sample, "MONOTONIC_MS LUMA" (0..255), so a
//                                    caller can tell when a picture appeared and how long it was gone
//   e2e_probe agent-store            writes the minimal wallpaper store when there is none, as the
//                                    wallpaper agent of a desktop (here the saver) does before anyone
//                                    enables a screensaver
//   e2e_probe select-module NAME     makes the registered screensaver module NAME the choice of every
//                                    slot of the store, as the app's enable action does without the
//                                    wallpaper agent's restart, which this platform's saver does not
//                                    need; then prints the active modules, one a line
// Exit status: 0 done, 1 the operation failed (reason on stderr), 2 usage.
#include "kit/errors.h"
#include "kit/kit_environment.h"
#include "kit/module_resolution.h"
#include "kit/tessary.h"
#include "platform/preferences.h"
#include "platform/screens.h"
#include "platform/spaces.h"

#include <QCoroTask>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <exception>

namespace {

constexpr int kPatch = 48;

double monotonicMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int fail(const QString& message)
{
    std::fprintf(stderr, "e2e_probe: %s\n", qPrintable(message));
    return 1;
}

QScreen* screenOrNull()
{
    return QGuiApplication::primaryScreen();
}

int shot(const QString& file)
{
    QScreen* screen = screenOrNull();
    if (!screen)
        return fail(QStringLiteral("no screen"));
    const QPixmap picture = screen->grabWindow(0);
    if (picture.isNull() || !picture.save(file, "PNG"))
        return fail(QStringLiteral("could not save the screen to %1").arg(file));
    return 0;
}

// Mean luma of a square in the middle of the screen; -1 when the grab failed.
int centreLuma(QScreen* screen)
{
    const QRect geometry = screen->geometry();
    const QImage patch
        = screen->grabWindow(0, geometry.width() / 2 - kPatch / 2, geometry.height() / 2 - kPatch / 2, kPatch, kPatch)
              .toImage()
              .convertToFormat(QImage::Format_RGB32);
    if (patch.isNull())
        return -1;
    qint64 sum = 0;
    for (int y = 0; y < patch.height(); ++y)
        for (int x = 0; x < patch.width(); ++x)
            sum += qGray(patch.pixel(x, y));
    return int(sum / (patch.width() * patch.height()));
}

int watch(double seconds)
{
    QScreen* screen = screenOrNull();
    if (!screen)
        return fail(QStringLiteral("no screen"));
    std::printf("ready\n");
    std::fflush(stdout);
    const double end = monotonicMs() + seconds * 1000;
    for (double now = monotonicMs(); now < end; now = monotonicMs()) {
        std::printf("%.1f %d\n", now, centreLuma(screen));
        std::fflush(stdout);
        QThread::msleep(10);
    }
    return 0;
}

std::shared_ptr<quorvel::kit::KitEnvironment> systemKit()
{
    auto screens = std::make_shared<quorvel::platform::QtScreens>();
    auto spaces = std::make_shared<quorvel::platform::SynthesizedSpaces>(screens);
    auto preferences = std::make_shared<quorvel::platform::FilePreferences>(
        QStringLiteral("com.quorvel.Quorvel"), QString(), spaces);
    return quorvel::kit::KitEnvironment::system(preferences, screens);
}

int agentStore()
{
    return quorvel::kit::ModuleResolver(systemKit()).ensureStore() ? 0
                                                                   : fail(QStringLiteral("no store could be written"));
}

QCoro::Task<int> selectModule(QString name)
{
    quorvel::kit::Tessary tessary(systemKit());
    try {
        co_await tessary.setScreensaverEverywhere(
            name, quorvel::kit::WriteOptions { .restartAgent = false, .enableDebug = false });
    } catch (const std::exception& error) {
        co_return fail(quorvel::kit::describeError(error));
    }
    for (const QString& active : tessary.getActiveScreensavers())
        std::printf("%s\n", qPrintable(active));
    co_return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: e2e_probe shot FILE.png | watch SECONDS | agent-store | select-module NAME\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments().mid(1);
    if (args == QStringList { QStringLiteral("agent-store") })
        return agentStore();
    if (args.size() != 2)
        return usage();
    const QString& command = args[0];
    if (command == QLatin1String("shot"))
        return shot(args[1]);
    if (command == QLatin1String("watch")) {
        bool ok = false;
        const double seconds = args[1].toDouble(&ok);
        return ok && seconds > 0 ? watch(seconds) : usage();
    }
    if (command == QLatin1String("select-module"))
        return QCoro::waitFor(selectModule(args[1]));
    return usage();
}
