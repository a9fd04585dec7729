#include "service/clip_renderer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStringList>
#include <QTimer>

namespace quorvel::service {
namespace {

constexpr auto kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

} // namespace

QString wrapForClip(const QString& prompt, int width, int maxLines)
{
    QStringList lines;
    QString line;
    for (const QString& word : prompt.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString rest = word;
        while (rest.size() > width) { // a single overlong word is cut, not left to overflow
            if (!line.isEmpty())
                lines << line, line.clear();
            lines << rest.left(width);
            rest = rest.mid(width);
        }
        if (!line.isEmpty() && line.size() + 1 + rest.size() > width)
            lines << line, line.clear();
        line = line.isEmpty() ? rest : line + QLatin1Char(' ') + rest;
    }
    if (!line.isEmpty())
        lines << line;
    if (lines.size() > maxLines) {
        lines = lines.mid(0, maxLines);
        lines.last() = lines.last().left(width - 1) + QChar(0x2026);
    }
    return lines.join(QLatin1Char('\n'));
}

ClipRenderer::ClipRenderer(QString ffmpegPath, QString clipsDir, QString workDir, QObject* parent)
    : QObject(parent)
    , ffmpeg_(std::move(ffmpegPath))
    , clipsDir_(std::move(clipsDir))
    , workDir_(std::move(workDir))
{
    QDir().mkpath(clipsDir_);
    QDir().mkpath(workDir_);
}

ClipRenderer::~ClipRenderer()
{
    for (QProcess* process : running_.keys()) {
        process->disconnect();
        process->kill();
        process->waitForFinished(2000);
    }
}

QString ClipRenderer::clipPath(const QString& id) const
{
    return clipsDir_ + QStringLiteral("/") + id + QStringLiteral(".mp4");
}

void ClipRenderer::render(const ClipOrder& order)
{
    queue_.push_back(order);
    startNext();
}

void ClipRenderer::startNext()
{
    while (running_.size() < kMaxParallel && !queue_.empty()) {
        const ClipOrder order = queue_.front();
        queue_.pop_front();

        const QString dir = workDir_ + QStringLiteral("/") + order.id;
        const QString partial = dir + QStringLiteral("/clip.mp4");
        // An unknown key never reaches ffmpeg: the graph is built from the tables alone.
        const std::optional<QStringList> arguments
            = renderArguments(order.recipe, format_.value_or(clipFormat(order.recipe.lite)), partial,
                QStringLiteral("prompt.txt"), QLatin1String(kFont));
        if (!arguments) {
            emit finished(order.id, false, QStringLiteral("the recipe has an ") + recipeKeyError(order.recipe));
            continue;
        }

        QDir(dir).removeRecursively();
        QSaveFile text(dir + QStringLiteral("/prompt.txt"));
        if (!QDir().mkpath(dir) || !text.open(QIODevice::WriteOnly)
            || text.write(wrapForClip(order.prompt).toUtf8()) < 0 || !text.commit()) {
            QDir(dir).removeRecursively();
            emit finished(order.id, false, QStringLiteral("couldn't prepare the render."));
            continue;
        }

        auto* process = new QProcess(this);
        process->setWorkingDirectory(dir);
        process->setProcessChannelMode(QProcess::MergedChannels);
        running_.insert(process, order.id);

        auto* timeout = new QTimer(process);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, process, [this, process, id = order.id] {
            process->disconnect(this);
            process->kill();
            complete(process, id, false, QStringLiteral("the renderer took too long."));
        });
        connect(process, &QProcess::errorOccurred, this, [this, process, id = order.id](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                complete(process, id, false, QStringLiteral("the renderer could not be started."));
        });
        connect(process, &QProcess::finished, this,
            [this, process, id = order.id, partial](int code, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || code != 0) {
                    const QString output
                        = QString::fromUtf8(process->readAll()).trimmed().section(QLatin1Char('\n'), -1);
                    complete(process, id, false,
                        QStringLiteral("the renderer exited with status %1%2")
                            .arg(code)
                            .arg(output.isEmpty() ? QStringLiteral(".")
                                                  : QStringLiteral(" (") + output.left(200) + QStringLiteral(").")));
                    return;
                }
                QFile::remove(clipPath(id));
                if (!QFile::rename(partial, clipPath(id))) {
                    complete(process, id, false, QStringLiteral("the clip couldn't be stored."));
                    return;
                }
                complete(process, id, true, {});
            });
        timeout->start(kTimeoutMs);
        process->start(ffmpeg_, *arguments);
    }
}

void ClipRenderer::complete(QProcess* process, const QString& id, bool ok, const QString& error)
{
    if (!running_.remove(process))
        return; // already reported (timeout followed by exit, or start failure followed by exit)
    process->disconnect(this);
    process->deleteLater();
    QDir(workDir_ + QStringLiteral("/") + id).removeRecursively();
    emit finished(id, ok, error);
    startNext();
}

} // namespace quorvel::service
