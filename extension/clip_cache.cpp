#include "extension/clip_cache.h"

#include "extension/feed_loader.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QUuid>

#include <utility>

namespace quorvel::extension {

void DownloadGate::setOpen(bool open)
{
    if (open == open_)
        return;
    open_ = open;
    emit openChanged(open);
}

ClipCache::ClipCache(
    QString directory, std::chrono::milliseconds stallTimeout, ClipCacheLimits limits, SessionFactory makeSession)
    : directory_(std::move(directory))
    , store_(std::make_unique<ClipStore>(directory_, limits.freeSpace))
    , downloader_(std::make_unique<ClipDownloader>(*store_, stallTimeout, std::move(limits), std::move(makeSession)))
{
}

QString ClipCache::directory() const
{
    QDir().mkpath(directory_);
    return directory_;
}

std::optional<QUrl> ClipCache::cachedFileURL(const Video& video) const
{
    const QFileInfo info(QDir(directory()).filePath(cacheFileName(video.url)));
    if (!info.isFile() || info.size() < 1)
        return std::nullopt;
    return QUrl::fromLocalFile(info.absoluteFilePath());
}

bool ClipCache::isCacheFile(const QString& localPath) const
{
    const QFileInfo info(localPath);
    return !info.fileName().isEmpty() && info.fileName() != QLatin1String(kLastGoodFeedName)
        && QDir(info.absolutePath()) == QDir(QFileInfo(directory_).absoluteFilePath());
}

QSet<QString> ClipCache::keepSet(const std::vector<Video>& playlist) const
{
    QSet<QString> keep = inFlight_;
    keep.insert(QLatin1String(kLastGoodFeedName));
    for (const Video& video : playlist)
        keep.insert(cacheFileName(video.url));
    return keep;
}

QCoro::Task<> ClipCache::cacheClips(std::shared_ptr<ClipCache> cache, QPointer<QObject> owner,
    std::function<std::vector<Video>()> playlist, QPointer<DownloadGate> gate)
{
    if (!owner)
        co_return;
    const std::vector<Video> snapshot = playlist();
    QSet<QString> current;
    for (const Video& video : snapshot)
        current.insert(cacheFileName(video.url));
    for (const Video& video : snapshot) {
        // The built-in clip and anything a feed names outside http(s) are never fetched.
        while (owner && !cache->cachedFileURL(video) && isRemoteClipURL(video.url)) {
            if (gate && !gate->isOpen()) {
                co_await qCoro(gate.data(), &DownloadGate::openChanged);
                continue;
            }
            co_await cache->download(video.url, owner, gate, current);
            // A download the gate cut short is fetched again once it opens; any other end is final.
            if (!gate || gate->isOpen())
                break;
        }
        if (!owner)
            co_return;
    }
    co_await cache->prune(playlist());
}

QCoro::Task<bool> ClipCache::download(QUrl url, QPointer<QObject> owner, QPointer<DownloadGate> gate)
{
    return download(std::move(url), std::move(owner), std::move(gate), std::nullopt);
}

QCoro::Task<bool> ClipCache::download(
    QUrl url, QPointer<QObject> owner, QPointer<DownloadGate> gate, std::optional<QSet<QString>> current)
{
    DownloadJob job;
    job.url = url;
    job.name = cacheFileName(url);
    if (inFlight_.contains(job.name) || !owner || (gate && !gate->isOpen()))
        co_return false;
    // The clip streams into a hidden file beside its destination and is renamed into place only
    // when complete, so nothing half-downloaded is ever taken for a cached clip.
    job.partialName = QStringLiteral(".partial-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    const QStringList claimed { job.name, job.partialName };
    for (const QString& entry : claimed)
        inFlight_.insert(entry);
    const auto release = qScopeGuard([this, claimed] {
        for (const QString& entry : claimed)
            inFlight_.remove(entry);
    });
    if (current)
        job.keep = *current + keepSet({});

    ClipDownloader* downloader = downloader_.get();
    QObject stopper;
    QObject::connect(owner, &QObject::destroyed, &stopper, [downloader, job] { downloader->cancel(job); });
    if (gate)
        QObject::connect(gate, &DownloadGate::openChanged, &stopper, [downloader, job](bool open) {
            if (!open)
                downloader->cancel(job);
        });
    co_return co_await downloader->start(job);
}

QFuture<void> ClipCache::prune(const std::vector<Video>& playlist) const
{
    return store_->removeAllBut(keepSet(playlist));
}

} // namespace quorvel::extension
