#pragma once
// The on-disk clip cache: one file per clip named by cacheFileName, plus the last good feed.

#include "extension/clip_store.h"
#include "extension/feed_model.h"

#include <QCoroTask>
#include <QFuture>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSet>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvel::extension {

// How much a clip and the cache may take; the defaults are the extension's.
struct ClipCacheLimits {
    // A clip that grows past this is abandoned, whatever it announces.
    qint64 maxClipBytes = qint64(300) << 20;
    // The whole directory; when a clip would take it past this, clips no longer in the feed go first.
    qint64 maxCacheBytes = qint64(2048) << 20;
    // No download starts, and a running one stops, when less would stay free on the cache's disk.
    qint64 minFreeBytes = qint64(512) << 20;
    // Free bytes of the cache's file system; empty asks the system. Called on the cache's worker.
    FreeSpaceQuery freeSpace;
};

// One per process: several views (one per display) fill the same directory, and a download in
// flight for one of them is neither fetched again nor pruned by another.
class ClipCache {
public:
    ClipCache(QString directory, std::shared_ptr<QNetworkAccessManager> network, std::chrono::milliseconds stallTimeout,
        ClipCacheLimits limits = {});

    // The directory, created on the way if it can be (a failure is ignored).
    QString directory() const;
    // The cache file of `video` when one of at least one byte exists; zero-byte files count as absent.
    std::optional<QUrl> cachedFileURL(const Video& video) const;
    // True for a local file that lies directly inside the cache directory.
    bool isCacheFile(const QString& localPath) const;

    // Downloads every clip of the playlist that is not cached yet, one at a time, then prunes.
    // `playlist` is read again before pruning; the task stops once `owner` is gone.
    static QCoro::Task<> cacheClips(
        std::shared_ptr<ClipCache> cache, QPointer<QObject> owner, std::function<std::vector<Video>()> playlist);

    // Downloads one clip into place; false when it did not land (the reason is logged) or when
    // another view is already fetching it. File work runs on the cache's worker thread.
    QCoro::Task<bool> download(QUrl url, QPointer<QObject> owner);

    // Removes every entry that is neither a clip of `playlist`, a download in flight, nor the last
    // good feed; on the worker thread, finished when the future is.
    QFuture<void> prune(const std::vector<Video>& playlist) const;

private:
    // With `current` (the cache names of the feed being cached), clips outside it make room first.
    QCoro::Task<bool> download(QUrl url, QPointer<QObject> owner, std::optional<QSet<QString>> current);
    QSet<QString> keepSet(const std::vector<Video>& playlist) const;

    QString directory_;
    std::shared_ptr<QNetworkAccessManager> network_;
    std::chrono::milliseconds stallTimeout_;
    ClipCacheLimits limits_;
    // Cache names and partial-file names of the downloads now running.
    QSet<QString> inFlight_;
    // Last: it waits for its work when the cache goes.
    std::unique_ptr<ClipStore> store_;
};

} // namespace quorvel::extension
