#pragma once
// The on-disk clip cache: one file per clip named by cacheFileName, plus the last good feed.

#include "extension/clip_downloader.h"
#include "extension/clip_store.h"
#include "extension/feed_model.h"

#include <QCoroTask>
#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvel::extension {

// Whether one view may download clips now. While closed, its caching waits; closing it cuts the
// running download short (it leaves nothing) and that clip is fetched again once it opens.
class DownloadGate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    bool isOpen() const { return open_; }
    void setOpen(bool open);

signals:
    void openChanged(bool open);

private:
    bool open_ = true;
};

// One per process: several views (one per display) fill the same directory, and a download in
// flight for one of them is neither fetched again nor pruned by another. Its methods are called on
// the main thread; the transfers run on the downloader's thread.
class ClipCache {
public:
    ClipCache(QString directory, std::chrono::milliseconds stallTimeout, ClipCacheLimits limits = {},
        SessionFactory makeSession = {});

    // The directory, created on the way if it can be (a failure is ignored).
    QString directory() const;
    // The cache file of `video` when one of at least one byte exists; zero-byte files count as absent.
    std::optional<QUrl> cachedFileURL(const Video& video) const;
    // True for a local file that lies directly inside the cache directory.
    bool isCacheFile(const QString& localPath) const;

    // Downloads every clip of the playlist that is not cached yet, one at a time, then prunes.
    // `playlist` is read again before pruning; the task stops once `owner` is gone, and waits
    // while `gate` (when given) is closed.
    static QCoro::Task<> cacheClips(std::shared_ptr<ClipCache> cache, QPointer<QObject> owner,
        std::function<std::vector<Video>()> playlist, QPointer<DownloadGate> gate = {});

    // Downloads one clip into place; false when it did not land (the reason is logged), when
    // another view is already fetching it, or when `owner` went or `gate` closed on the way.
    QCoro::Task<bool> download(QUrl url, QPointer<QObject> owner, QPointer<DownloadGate> gate = {});

    // Removes every entry that is neither a clip of `playlist`, a download in flight, nor the last
    // good feed; on the worker thread, finished when the future is.
    QFuture<void> prune(const std::vector<Video>& playlist) const;

private:
    // With `current` (the cache names of the feed being cached), clips outside it make room first.
    QCoro::Task<bool> download(
        QUrl url, QPointer<QObject> owner, QPointer<DownloadGate> gate, std::optional<QSet<QString>> current);
    QSet<QString> keepSet(const std::vector<Video>& playlist) const;

    QString directory_;
    // Cache names and partial-file names of the downloads now running.
    QSet<QString> inFlight_;
    // The store waits for its work when the cache goes; the downloader, which uses it, goes first.
    std::unique_ptr<ClipStore> store_;
    std::unique_ptr<ClipDownloader> downloader_;
};

} // namespace quorvel::extension
