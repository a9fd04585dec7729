#pragma once
// The clip downloads of one process, on a thread of their own with a network session of their own:
// the thread that paints the video never touches a clip's bytes. Each download streams into a
// hidden partial file that the cache's store renames into place only when the answer was a whole 200.

#include "extension/clip_store.h"

#include <QFuture>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QNetworkReply;

namespace quorvel::extension {

// Makes the download session; called once, on the download thread.
using SessionFactory = std::function<std::unique_ptr<QNetworkAccessManager>()>;

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

struct DownloadJob {
    QUrl url;
    // The destination's name in the directory and the partial file's.
    QString name;
    QString partialName;
    // When set, files outside it may go to make room (the feed's clips, the last good feed, work in flight).
    std::optional<QSet<QString>> keep;
    // Set by the caller's thread: the download stops and leaves nothing, and nothing is logged.
    std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
};

class ClipDownloader {
public:
    ClipDownloader(
        ClipStore& store, std::chrono::milliseconds stallTimeout, ClipCacheLimits limits, SessionFactory makeSession);
    // Cuts every download short and waits for the thread (also done when the application goes away
    // first: a caching task still waiting at exit keeps its cache, and so this, alive).
    ~ClipDownloader();
    ClipDownloader(const ClipDownloader&) = delete;
    ClipDownloader& operator=(const ClipDownloader&) = delete;

    // Starts `job` on the download thread; the future is true when the clip landed in place and
    // false when it did not (the reason is logged) or the job was cancelled.
    QFuture<bool> start(DownloadJob job);
    // Marks `job` cancelled and aborts its transfer, from any thread.
    void cancel(const DownloadJob& job);

    const ClipCacheLimits& limits() const { return limits_; }

private:
    class Worker;
    void stop();

    ClipCacheLimits limits_;
    QThread thread_;
    // Lives on `thread_`; gone once stopped.
    Worker* worker_ = nullptr;
    bool stopped_ = false;
    // Receives the application's end, so the thread never runs into the process's teardown.
    std::unique_ptr<QObject> applicationWatch_;
};

} // namespace quorvel::extension
