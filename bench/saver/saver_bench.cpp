// Measurement helper for bench/saver/run: each subcommand prints "key value" lines.
//   on-screen [--] COMMAND ARGS...   starts COMMAND and watches the X screen: milliseconds from the
//                                    start to the first video picture on screen (the centre of the
//                                    screen leaves black), then ends COMMAND
//   changes BUNDLE N                 loads the module of BUNDLE as quorvel-saver does and watches its
//                                    view through N clip changes of its feed
//   cache URL DIRECTORY              caches URL into DIRECTORY with the extension's ClipCache: time,
//                                    bytes, peak memory growth of this process
//   painted [--] COMMAND ARGS...     starts COMMAND and watches the whole X screen: milliseconds from
//                                    the start to the first window painted anywhere on it (any pixel
//                                    leaves black), then ends COMMAND
//   screen-frames SECONDS            samples the centre of the X screen for SECONDS: the monotonic
//                                    milliseconds of every change of picture there (any player)
//   cache-while-playing BUNDLE URL DIRECTORY DELAY
//                                    plays BUNDLE's feed as quorvel-saver does; after DELAY seconds
//                                    caches URL into DIRECTORY with a ClipCache on the same event
//                                    loop; the download's window and every frame's arrival at the
//                                    main thread, in monotonic milliseconds
#include "bench/saver/clip_change_probe.h"
#include "bench/saver/process_memory.h"
#include "extension/clip_cache.h"
#include "extension/feed_model.h"
#include "host/module_loader.h"
#include "host/rendering.h"
#include "host/saver_session.h"
#include "host/stages.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLoggingCategory>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

void say(const QString& line)
{
    std::fputs(qPrintable(line + '\n'), stdout);
    std::fflush(stdout);
}

// Mean luma of the middle of the screen: the same test for any player, whatever its window.
int screenCentreLuma(QScreen* screen)
{
    const QRect all = screen->geometry();
    const QImage grab = screen->grabWindow(0, all.width() / 4, all.height() / 4, all.width() / 2, all.height() / 2)
                            .toImage()
                            .scaled(32, 32)
                            .convertToFormat(QImage::Format_Grayscale8);
    if (grab.isNull())
        return 0;
    long sum = 0;
    for (int y = 0; y < grab.height(); ++y)
        for (int x = 0; x < grab.width(); ++x)
            sum += grab.constScanLine(y)[x];
    return int(sum / (grab.width() * grab.height()));
}

// The brightest spot of the whole screen, sampled on a coarse grid: a window painted anywhere shows.
int screenBrightest(QScreen* screen)
{
    const QImage grab = screen->grabWindow(0).toImage().scaled(96, 54).convertToFormat(QImage::Format_Grayscale8);
    int brightest = 0;
    for (int y = 0; y < grab.height(); ++y)
        for (int x = 0; x < grab.width(); ++x)
            brightest = std::max(brightest, int(grab.constScanLine(y)[x]));
    return brightest;
}

// Milliseconds from starting `command` to `seen` holding for the screen, then ends the command.
int timeUntilSeen(QStringList command, const std::function<int(QScreen*)>& luma)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || command.isEmpty())
        return 64;
    if (luma(screen) >= quorvel::bench::kBlackLuma) {
        QTextStream(stderr) << "the screen is not black before the start\n";
        return 2;
    }
    QProcess child;
    child.setProgram(command.takeFirst());
    child.setArguments(command);
    child.setStandardOutputFile(QProcess::nullDevice());
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    child.start();
    int code = 3;
    while (clock.elapsed() < 30000 && child.state() != QProcess::NotRunning) {
        if (luma(screen) >= quorvel::bench::kBlackLuma) {
            say(QStringLiteral("first-frame-ms %1").arg(clock.nsecsElapsed() / 1e6, 0, 'f', 1));
            code = 0;
            break;
        }
        QThread::msleep(2);
    }
    child.terminate();
    if (!child.waitForFinished(5000)) {
        child.kill();
        child.waitForFinished();
    }
    return code;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double maximum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::function<void(const QString&)> onPlaying;

void watchLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtInfoMsg && message.startsWith(QLatin1String("playing ")) && onPlaying)
        onPlaying(message.mid(8));
    if (type >= QtCriticalMsg)
        QTextStream(stderr) << (context.category ? context.category : "") << ": " << message << "\n";
}

// The module of `bundle`, or null after printing why it would not load.
std::unique_ptr<quorvel::saver::LoadedModule> loadModule(const QString& bundle)
{
    quorvel::saver::LoadResult loaded = quorvel::saver::loadSaverModule(bundle);
    if (auto* error = std::get_if<quorvel::saver::LoadError>(&loaded)) {
        QTextStream(stderr) << error->message() << "\n";
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<quorvel::saver::LoadedModule>>(loaded));
}

int changes(const QString& bundle, int count)
{
    QLoggingCategory::setFilterRules(QStringLiteral("com.quorvel.Quorvel.View.info=true"));
    qInstallMessageHandler(watchLog);
    const std::unique_ptr<quorvel::saver::LoadedModule> module = loadModule(bundle);
    if (!module)
        return 2;
    quorvel::saver::FullScreenStage stage;
    quorvel::saver::SaverSession session(module->module().makePrincipal(), stage);
    quorvel::bench::ClipChangeProbe probe;
    onPlaying = [&](const QString& url) {
        if (int(probe.changes().size()) >= count) {
            QCoreApplication::exit(0);
            return;
        }
        probe.markChange(url);
    };
    QTimer::singleShot(count * 10000 + 20000, [] { QCoreApplication::exit(3); });
    session.start(quorvel::saver::screenTargets());
    for (QWidget* view : session.views())
        probe.watch(view);
    const int code = QApplication::exec();
    onPlaying = nullptr;
    session.stop();

    std::vector<double> frameGaps, markGaps;
    int fromCache = 0;
    for (const quorvel::bench::ClipChange& change : probe.changes()) {
        frameGaps.push_back(change.frameToFrameMs);
        markGaps.push_back(change.markToFrameMs);
        fromCache += change.fromCache ? 1 : 0;
    }
    say(QStringLiteral("changes %1").arg(probe.changes().size()));
    say(QStringLiteral("changes-from-cache %1").arg(fromCache));
    say(QStringLiteral("blank-frames-delivered %1").arg(probe.blankFramesDelivered()));
    say(QStringLiteral("blank-frames-painted %1").arg(probe.blankFramesPainted()));
    say(QStringLiteral("black-frames-painted %1").arg(probe.blackFramesPainted()));
    say(QStringLiteral("black-first-frames %1").arg(probe.blackFirstFrames()));
    say(QStringLiteral("repaints-during-changes %1").arg(probe.repaintsDuringChanges()));
    say(QStringLiteral("gap-frame-to-frame-ms-median %1").arg(median(frameGaps), 0, 'f', 1));
    say(QStringLiteral("gap-frame-to-frame-ms-max %1").arg(maximum(frameGaps), 0, 'f', 1));
    say(QStringLiteral("gap-change-to-frame-ms-median %1").arg(median(markGaps), 0, 'f', 1));
    say(QStringLiteral("gap-change-to-frame-ms-max %1").arg(maximum(markGaps), 0, 'f', 1));
    return code;
}

QCoro::Task<> cacheOnce(quorvel::extension::ClipCache& cache, QUrl url, QObject* owner, bool& landed)
{
    landed = co_await cache.download(url, QPointer<QObject>(owner));
    QCoreApplication::exit(0);
}

int cache(const QUrl& url, const QString& directory)
{
    quorvel::extension::ClipCache clipCache(directory, std::chrono::milliseconds(60000));
    QObject owner;
    const long baseline = quorvel::bench::residentKilobytes();
    quorvel::bench::resetPeakResident();
    bool landed = false;
    QElapsedTimer clock;
    clock.start();
    QCoro::Task<> task = cacheOnce(clipCache, url, &owner, landed);
    QCoreApplication::exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const QFileInfo file(QDir(directory).filePath(quorvel::extension::cacheFileName(url)));
    say(QStringLiteral("bytes %1").arg(file.exists() ? file.size() : 0));
    say(QStringLiteral("seconds %1").arg(seconds, 0, 'f', 3));
    say(QStringLiteral("peak-growth-kb %1").arg(quorvel::bench::peakResidentKilobytes() - baseline));
    return landed ? 0 : 3;
}

// The mean luma of a few pixels at the centre of the screen; a clip whose every frame has its own
// grey level shows each new picture as a change of this value.
int centrePatchLuma(QScreen* screen)
{
    const QRect all = screen->geometry();
    const QImage grab = screen->grabWindow(0, all.width() / 2 - 4, all.height() / 2 - 4, 8, 8)
                            .toImage()
                            .convertToFormat(QImage::Format_Grayscale8);
    if (grab.isNull())
        return -1;
    long sum = 0;
    for (int y = 0; y < grab.height(); ++y)
        for (int x = 0; x < grab.width(); ++x)
            sum += grab.constScanLine(y)[x];
    return int(sum / (grab.width() * grab.height()));
}

QString joinMs(const std::vector<double>& values)
{
    QStringList out;
    for (double value : values)
        out << QString::number(value, 'f', 2);
    return out.join(QLatin1Char(','));
}

int screenFrames(double seconds)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 64;
    std::vector<double> changes;
    int last = -1;
    const double end = quorvel::bench::monotonicMs() + seconds * 1000;
    for (double now = quorvel::bench::monotonicMs(); now < end; now = quorvel::bench::monotonicMs()) {
        const int luma = centrePatchLuma(screen);
        if (luma >= 0 && last >= 0 && std::abs(luma - last) > 2)
            changes.push_back(now);
        last = luma;
        QThread::usleep(500);
    }
    say(QStringLiteral("frames %1").arg(joinMs(changes)));
    return 0;
}

QCoro::Task<> cacheInWindow(
    quorvel::extension::ClipCache& cache, QUrl url, QObject* owner, double& start, double& end, bool& landed)
{
    start = quorvel::bench::monotonicMs();
    landed = co_await cache.download(url, QPointer<QObject>(owner));
    end = quorvel::bench::monotonicMs();
    // A little of the playback after the download, so its last frames are in the record too.
    QTimer::singleShot(1000, [] { QCoreApplication::exit(0); });
}

int cacheWhilePlaying(const QString& bundle, const QUrl& url, const QString& directory, double delaySeconds)
{
    qInstallMessageHandler(watchLog);
    const std::unique_ptr<quorvel::saver::LoadedModule> module = loadModule(bundle);
    if (!module)
        return 2;
    quorvel::saver::FullScreenStage stage;
    quorvel::saver::SaverSession session(module->module().makePrincipal(), stage);
    quorvel::bench::ClipChangeProbe probe;
    quorvel::extension::ClipCache clipCache(directory, std::chrono::milliseconds(60000));
    QObject owner;
    double start = 0, end = 0;
    bool landed = false;
    std::optional<QCoro::Task<>> task;
    QTimer::singleShot(
        int(delaySeconds * 1000), [&] { task.emplace(cacheInWindow(clipCache, url, &owner, start, end, landed)); });
    QTimer::singleShot(int(delaySeconds * 1000) + 120000, [] { QCoreApplication::exit(3); });
    session.start(quorvel::saver::screenTargets());
    for (QWidget* view : session.views())
        probe.watch(view);
    const int code = QApplication::exec();
    session.stop();
    const QFileInfo file(QDir(directory).filePath(quorvel::extension::cacheFileName(url)));
    say(QStringLiteral("bytes %1").arg(file.exists() ? file.size() : 0));
    say(QStringLiteral("download-start-ms %1").arg(start, 0, 'f', 2));
    say(QStringLiteral("download-end-ms %1").arg(end, 0, 'f', 2));
    say(QStringLiteral("frames %1").arg(joinMs(probe.frameArrivalsMs())));
    return code == 0 && landed ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    // Renders as quorvel-saver does.
    quorvel::saver::prepareSaverRendering();
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("on-screen") && args.size() >= 2) {
        args = args.mid(1);
        if (args.first() == QLatin1String("--"))
            args.removeFirst();
        return timeUntilSeen(args, screenCentreLuma);
    }
    if (command == QLatin1String("painted") && args.size() >= 2) {
        args = args.mid(1);
        if (args.first() == QLatin1String("--"))
            args.removeFirst();
        return timeUntilSeen(args, screenBrightest);
    }
    if (command == QLatin1String("changes") && args.size() == 3)
        return changes(args.at(1), args.at(2).toInt());
    if (command == QLatin1String("cache") && args.size() == 3)
        return cache(QUrl(args.at(1)), args.at(2));
    if (command == QLatin1String("screen-frames") && args.size() == 2)
        return screenFrames(args.at(1).toDouble());
    if (command == QLatin1String("cache-while-playing") && args.size() == 5)
        return cacheWhilePlaying(args.at(1), QUrl(args.at(2)), args.at(3), args.at(4).toDouble());
    QTextStream(stderr)
        << "usage: saver_bench on-screen|painted [--] COMMAND ARGS... | changes BUNDLE N | cache URL DIR | "
           "screen-frames SECONDS | cache-while-playing BUNDLE URL DIR DELAY\n";
    return 64;
}
