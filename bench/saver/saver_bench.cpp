// Measurement helper for bench/saver/run: each subcommand prints "key value" lines.
//   first-frame CLIP                 prints "first-frame" once the first frame is on screen, then exits
//   saver-first-frame BUNDLE         the same through quorvel-saver's loader, session and stage with a
//                                    real module bundle (whatever it plays first)
//   changes CLIP_A CLIP_B N          N clip changes: gaps and black/empty frames between clips
//   memory CLIP N1 N2                resident memory after N1 and after N2 clip changes of one clip
//   download URL DIRECTORY           streams URL into DIRECTORY through a temporary file: time, peak memory
#include "bench/saver/player_stage.h"
#include "bench/saver/video_probe.h"
#include "host/module_loader.h"
#include "host/rendering.h"
#include "host/saver_session.h"
#include "host/stages.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using quorvel::bench::PlayerStage;
using Status = quorvel::platform::MediaPlayer::ItemStatus;

namespace {

constexpr QSize kViewSize { 1280, 720 };

void say(const QString& line)
{
    std::fputs(qPrintable(line + '\n'), stdout);
    std::fflush(stdout);
}

int firstFrame(const QString& clip)
{
    PlayerStage stage(kViewSize);
    stage.onFirstFramePainted = [] {
        say(QStringLiteral("first-frame"));
        QCoreApplication::exit(0);
    };
    stage.view().showFullScreen();
    stage.player().setItem(QUrl::fromLocalFile(clip));
    stage.player().play();
    return QApplication::exec();
}

int saverFirstFrame(const QString& bundle)
{
    quorvel::saver::LoadResult loaded = quorvel::saver::loadSaverModule(bundle);
    if (auto* error = std::get_if<quorvel::saver::LoadError>(&loaded)) {
        QTextStream(stderr) << error->message() << "\n";
        return 2;
    }
    const auto& module = std::get<std::unique_ptr<quorvel::saver::LoadedModule>>(loaded);
    quorvel::saver::FullScreenStage stage;
    quorvel::saver::SaverSession session(module->module().makePrincipal(), stage);
    quorvel::bench::VideoProbe probe([] {
        say(QStringLiteral("first-frame"));
        QCoreApplication::exit(0);
    });
    session.start(quorvel::saver::screenTargets());
    for (QWidget* view : session.views())
        probe.watch(view);
    const int code = QApplication::exec();
    session.stop();
    return code;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int changes(const QString& clipA, const QString& clipB, int count)
{
    PlayerStage stage(kViewSize);
    QElapsedTimer clock;
    clock.start();
    qint64 lastFrameAt = -1;
    qint64 endAt = -1;
    int changesDone = 0;
    int emptyBetween = 0;
    int blackBetween = 0;
    bool awaiting = false;
    std::vector<double> frameGaps;
    std::vector<double> endGaps;
    stage.onFrame = [&](bool valid, bool black) {
        const qint64 now = clock.nsecsElapsed();
        if (awaiting) {
            if (!valid) {
                ++emptyBetween;
                return;
            }
            if (black)
                ++blackBetween;
            frameGaps.push_back((now - lastFrameAt) / 1e6);
            endGaps.push_back((now - endAt) / 1e6);
            awaiting = false;
        }
        if (valid)
            lastFrameAt = now;
    };
    stage.onFirstFramePainted = [] {};
    QObject::connect(&stage.player(), &quorvel::platform::MediaPlayer::endOfItem, [&] {
        if (changesDone == count) {
            QCoreApplication::exit(0);
            return;
        }
        endAt = clock.nsecsElapsed();
        awaiting = true;
        ++changesDone;
        stage.expectNewItem();
        stage.player().setItem(QUrl::fromLocalFile(changesDone % 2 ? clipB : clipA));
        stage.player().play();
    });
    QObject::connect(&stage.player(), &quorvel::platform::MediaPlayer::statusChanged, [](Status status) {
        if (status == Status::Failed)
            QCoreApplication::exit(2);
    });
    stage.view().showFullScreen();
    stage.player().setItem(QUrl::fromLocalFile(clipA));
    stage.player().play();
    const int code = QApplication::exec();
    say(QStringLiteral("changes %1").arg(frameGaps.size()));
    say(QStringLiteral("empty-frames %1").arg(emptyBetween));
    say(QStringLiteral("black-frames %1").arg(blackBetween));
    say(QStringLiteral("gap-frame-to-frame-ms-median %1").arg(median(frameGaps), 0, 'f', 1));
    say(QStringLiteral("gap-frame-to-frame-ms-max %1")
            .arg(frameGaps.empty() ? 0 : *std::max_element(frameGaps.begin(), frameGaps.end()), 0, 'f', 1));
    say(QStringLiteral("gap-end-to-frame-ms-median %1").arg(median(endGaps), 0, 'f', 1));
    say(QStringLiteral("gap-end-to-frame-ms-max %1")
            .arg(endGaps.empty() ? 0 : *std::max_element(endGaps.begin(), endGaps.end()), 0, 'f', 1));
    return code;
}

int memory(const QString& clip, int first, int second)
{
    PlayerStage stage(kViewSize);
    int changesDone = 0;
    QObject::connect(&stage.player(), &quorvel::platform::MediaPlayer::endOfItem, [&] {
        ++changesDone;
        if (changesDone == first)
            say(QStringLiteral("rss-kb-after-%1 %2").arg(first).arg(quorvel::bench::residentKilobytes()));
        if (changesDone == second) {
            say(QStringLiteral("rss-kb-after-%1 %2").arg(second).arg(quorvel::bench::residentKilobytes()));
            QCoreApplication::exit(0);
            return;
        }
        stage.player().setItem(QUrl::fromLocalFile(clip));
        stage.player().play();
    });
    stage.view().showFullScreen();
    stage.player().setItem(QUrl::fromLocalFile(clip));
    stage.player().play();
    return QApplication::exec();
}

// The clip cache's way of fetching: the body goes to a temporary file beside the target as it
// arrives and is renamed into place only when complete.
int download(const QUrl& url, const QString& directory)
{
    QNetworkAccessManager network;
    const long baseline = quorvel::bench::residentKilobytes();
    QSaveFile file(QDir(directory).filePath(url.fileName().isEmpty() ? QStringLiteral("clip.mp4") : url.fileName()));
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    QNetworkRequest request(url);
    request.setTransferTimeout(60000);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = network.get(request);
    // A small read buffer keeps the body out of memory when the disk is slower than the network.
    reply->setReadBufferSize(1 << 20);
    qint64 bytes = 0;
    bool ok = true;
    QObject::connect(reply, &QNetworkReply::readyRead, [&] {
        const QByteArray chunk = reply->readAll();
        bytes += chunk.size();
        if (file.write(chunk) != chunk.size())
            ok = false;
    });
    QObject::connect(reply, &QNetworkReply::finished, [&] {
        const QByteArray rest = reply->readAll();
        bytes += rest.size();
        if (file.write(rest) != rest.size())
            ok = false;
        ok = ok && reply->error() == QNetworkReply::NoError
            && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
        if (ok)
            ok = file.commit();
        else
            file.cancelWriting();
        QCoreApplication::exit(ok ? 0 : 3);
    });
    const int code = QCoreApplication::exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    say(QStringLiteral("bytes %1").arg(bytes));
    say(QStringLiteral("seconds %1").arg(seconds, 0, 'f', 3));
    say(QStringLiteral("peak-growth-kb %1").arg(quorvel::bench::peakResidentKilobytes() - baseline));
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    // Renders as quorvel-saver does.
    quorvel::saver::prepareSaverRendering();
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("first-frame") && args.size() == 2)
        return firstFrame(args.at(1));
    if (command == QLatin1String("saver-first-frame") && args.size() == 2)
        return saverFirstFrame(args.at(1));
    if (command == QLatin1String("changes") && args.size() == 4)
        return changes(args.at(1), args.at(2), args.at(3).toInt());
    if (command == QLatin1String("memory") && args.size() == 4)
        return memory(args.at(1), args.at(2).toInt(), args.at(3).toInt());
    if (command == QLatin1String("download") && args.size() == 3)
        return download(QUrl(args.at(1)), args.at(2));
    QTextStream(stderr) << "usage: saver_bench first-frame CLIP | saver-first-frame BUNDLE | changes A B N | memory "
                           "CLIP N1 N2 | download URL DIR\n";
    return 64;
}
