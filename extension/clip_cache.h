#pragma once
// The on-disk clip cache: one file per clip named by cacheFileName, plus the last good feed.

#include "extension/feed_model.h"

#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSet>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvel::extension {

// One per process: several views (one per display) fill the same directory, and a download in
// flight for one of them is neither fetched again nor pruned by another.
class ClipCache {
public:
    ClipCache(
        QString directory, std::shared_ptr<QNetworkAccessManager> network, std::chrono::milliseconds stallTimeout);

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
    // another view is already fetching it.
    QCoro::Task<bool> download(QUrl url, QPointer<QObject> owner);

    // Removes every entry that is neither a clip of `playlist` nor the last good feed.
    void prune(const std::vector<Video>& playlist) const;

private:
    QString directory_;
    std::shared_ptr<QNetworkAccessManager> network_;
    std::chrono::milliseconds stallTimeout_;
    // Cache names and partial-file names of the downloads now running.
    QSet<QString> inFlight_;
};

} // namespace quorvel::extension
