#include "extension/clip_cache.h"

#include "extension/feed_loader.h"
#include "extension/transfer_check.h"
#include "platform/delete_later.h"
#include "platform/log.h"

#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QUuid>

#include <coroutine>
#include <deque>
#include <utility>

namespace quorvel::extension {
namespace {

using platform::LogCategory;

constexpr qint64 kReadBufferBytes = 1 << 20;
// Chunks handed to the worker and not yet written; past this the reply is read no further, so a slow
// disk slows the transfer instead of filling memory.
constexpr qint64 kMaxQueuedBytes = qint64(8) << 20;

QString lastPathComponent(const QUrl& url)
{
    const QString name = url.fileName(QUrl::FullyDecoded);
    return name.isEmpty() ? QStringLiteral("/") : name;
}

// Why `room` cannot take `needed` more bytes, if it cannot.
std::optional<QString> shortage(const ClipStore::Usage& room, qint64 needed, const ClipCacheLimits& limits)
{
    if (room.freeBytes && *room.freeBytes - needed < limits.minFreeBytes)
        return QStringLiteral("only %1 MB free on the cache's disk").arg(*room.freeBytes >> 20);
    if (room.cacheBytes + needed > limits.maxCacheBytes)
        return QStringLiteral("the cache is at its limit of %1 bytes").arg(limits.maxCacheBytes);
    return std::nullopt;
}

} // namespace

// Wakes the download coroutine when its reply has news: headers, bytes, or its end. Several signals
// in a row wake it once, from the event loop rather than from inside the reply's own emission, and
// a wake still pending when the download ends dies with this object.
class ReplyWake : public QObject {
public:
    void notify()
    {
        if (!waiting_ || posted_)
            return;
        posted_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                posted_ = false;
                if (auto waiting = std::exchange(waiting_, {}))
                    waiting.resume();
            },
            Qt::QueuedConnection);
    }

    struct Awaiter {
        ReplyWake* wake;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiting) noexcept { wake->waiting_ = waiting; }
        void await_resume() const noexcept { }
    };
    Awaiter news() { return Awaiter { this }; }

private:
    std::coroutine_handle<> waiting_;
    bool posted_ = false;
};

ClipCache::ClipCache(QString directory, std::shared_ptr<QNetworkAccessManager> network,
    std::chrono::milliseconds stallTimeout, ClipCacheLimits limits)
    : directory_(std::move(directory))
    , network_(std::move(network))
    , stallTimeout_(stallTimeout)
    , limits_(std::move(limits))
    , store_(std::make_unique<ClipStore>(directory_, limits_.freeSpace))
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

QCoro::Task<> ClipCache::cacheClips(
    std::shared_ptr<ClipCache> cache, QPointer<QObject> owner, std::function<std::vector<Video>()> playlist)
{
    if (!owner)
        co_return;
    const std::vector<Video> snapshot = playlist();
    QSet<QString> current;
    for (const Video& video : snapshot)
        current.insert(cacheFileName(video.url));
    for (const Video& video : snapshot) {
        if (!owner)
            co_return;
        if (cache->cachedFileURL(video))
            continue;
        // The built-in clip and anything a feed names outside http(s) are never fetched.
        if (!isRemoteClipURL(video.url))
            continue;
        co_await cache->download(video.url, owner, current);
    }
    if (!owner)
        co_return;
    co_await cache->prune(playlist());
}

QCoro::Task<bool> ClipCache::download(QUrl url, QPointer<QObject> owner)
{
    return download(std::move(url), std::move(owner), std::nullopt);
}

QCoro::Task<bool> ClipCache::download(QUrl url, QPointer<QObject> owner, std::optional<QSet<QString>> current)
{
    const QString name = cacheFileName(url);
    auto fail = [&](const QString& reason) {
        platform::log::error(
            LogCategory::View, QStringLiteral("cache failed %1: %2").arg(lastPathComponent(url), reason));
        return false;
    };
    if (inFlight_.contains(name))
        co_return false;

    // The clip streams into a hidden file beside its destination and is renamed into place only
    // when complete, so nothing half-downloaded is ever taken for a cached clip.
    const QString partialName = QStringLiteral(".partial-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    const QStringList claimed { name, partialName };
    for (const QString& entry : claimed)
        inFlight_.insert(entry);
    const auto release = qScopeGuard([this, claimed] {
        for (const QString& entry : claimed)
            inFlight_.remove(entry);
    });
    std::optional<QSet<QString>> keep;
    if (current)
        keep = *current + keepSet({});

    // A nearly full disk or a full cache starts nothing.
    ClipStore::Usage room = co_await store_->makeRoom(1, keep, limits_.maxCacheBytes, limits_.minFreeBytes);
    if (!owner)
        co_return false;
    if (const auto reason = shortage(room, 1, limits_))
        co_return fail(*reason);
    const auto partial = store_->newPartial(partialName, limits_.minFreeBytes);
    if (const QString error = co_await store_->open(partial); !error.isEmpty()) {
        co_await store_->discard(partial);
        co_return owner ? fail(error) : false;
    }

    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(stallTimeout_.count()));
    const platform::LaterPtr<QNetworkReply> reply(network_->get(request));
    reply->setReadBufferSize(kReadBufferBytes);
    if (owner)
        QObject::connect(owner, &QObject::destroyed, reply.get(), &QNetworkReply::abort);
    ReplyWake wake;
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &wake, &ReplyWake::notify);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &wake, &ReplyWake::notify);
    QObject::connect(reply.get(), &QNetworkReply::finished, &wake, &ReplyWake::notify);

    // Why this side gave the transfer up, if it did.
    QString stop;
    auto giveUp = [&](const QString& reason) {
        stop = reason;
        reply->abort();
    };
    const QString tooLarge = QStringLiteral("the clip is larger than %1 bytes").arg(limits_.maxClipBytes);
    std::optional<int> status;
    std::optional<qint64> announced;
    qint64 received = 0;
    qint64 queued = 0;
    std::deque<std::pair<QFuture<QString>, qint64>> writes;
    while (true) {
        const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // A redirect that is being followed is not the answer yet.
        const int code = statusAttribute.toInt();
        const bool redirecting = code >= 300 && code < 400 && !reply->isFinished();
        if (!status && !statusAttribute.isNull() && !redirecting) {
            status = code;
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            // A body that will not be kept is not worth receiving.
            if (*status != 200)
                reply->abort();
            else if (reply->rawHeader("Content-Encoding").isEmpty() && length.isValid())
                announced = length.toLongLong();
            if (announced && *announced > limits_.maxClipBytes)
                giveUp(tooLarge);
            else if (announced && shortage(room, *announced, limits_)) {
                room = co_await store_->makeRoom(*announced, keep, limits_.maxCacheBytes, limits_.minFreeBytes);
                if (const auto reason = shortage(room, *announced, limits_))
                    giveUp(*reason);
            }
        }
        while (status == 200 && stop.isEmpty() && reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->read(kReadBufferBytes);
            received += chunk.size();
            if (announced && received > *announced)
                giveUp(QStringLiteral("the transfer went past its announced %1 bytes").arg(*announced));
            else if (received > limits_.maxClipBytes)
                giveUp(tooLarge);
            else if (const auto reason = shortage(room, received, limits_))
                giveUp(*reason);
            if (!stop.isEmpty())
                break;
            writes.emplace_back(store_->append(partial, chunk), chunk.size());
            queued += chunk.size();
            while (queued > kMaxQueuedBytes && stop.isEmpty()) {
                const QString error = co_await writes.front().first;
                queued -= writes.front().second;
                writes.pop_front();
                if (!error.isEmpty())
                    giveUp(error);
            }
        }
        if (reply->isFinished())
            break;
        co_await wake.news();
    }

    // The partial is whole, or known to have failed, once every write asked for has run.
    for (auto& [write, bytes] : writes) {
        const QString error = co_await write;
        if (!error.isEmpty() && stop.isEmpty())
            stop = error;
    }
    std::optional<QString> failure;
    if (!owner)
        failure = QString();
    else if (!stop.isEmpty())
        failure = stop;
    else if (!status)
        failure = reply->errorString();
    else if (*status == 200)
        failure = incompleteBody(*reply, received);
    if (!failure && status == 200) {
        if (const QString error = co_await store_->commit(partial, name); !error.isEmpty())
            failure = error;
    }
    if (failure || status != 200)
        co_await store_->discard(partial);
    if (!owner)
        co_return false;
    if (failure)
        co_return fail(*failure);
    if (status != 200) {
        platform::log::error(
            LogCategory::View, QStringLiteral("cache skip %1: HTTP %2").arg(url.toString()).arg(*status));
        co_return false;
    }
    platform::log::info(LogCategory::View, QStringLiteral("cached %1").arg(name));
    co_return true;
}

QFuture<void> ClipCache::prune(const std::vector<Video>& playlist) const
{
    return store_->removeAllBut(keepSet(playlist));
}

} // namespace quorvel::extension
