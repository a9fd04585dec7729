#include "extension/clip_downloader.h"

#include "extension/transfer_check.h"
#include "platform/delete_later.h"
#include "platform/log.h"
#include "platform/thread_priority.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QCoroTask>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>

#include <coroutine>
#include <deque>
#include <utility>

namespace quorvel::extension {
namespace {

using platform::LogCategory;

constexpr qint64 kReadBufferBytes = 1 << 20;
// Chunks handed to the store and not yet written; past this the reply is read no further, so a slow
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

} // namespace

// Everything here runs on the download thread.
class ClipDownloader::Worker : public QObject {
public:
    Worker(ClipStore& store, std::chrono::milliseconds stallTimeout, const ClipCacheLimits& limits,
        SessionFactory makeSession)
        : store_(store)
        , stallTimeout_(stallTimeout)
        , limits_(limits)
        , makeSession_(std::move(makeSession))
    {
    }

    QCoro::Task<> run(DownloadJob job, std::shared_ptr<QPromise<bool>> promise)
    {
        const bool landed = co_await fetch(std::move(job));
        promise->addResult(landed);
        promise->finish();
    }

    void abort(const std::atomic<bool>* cancelled)
    {
        if (const auto found = running_.find(cancelled); found != running_.end())
            found->second->abort();
    }

    // Every transfer ends at once; the session goes with this thread.
    void shutDown()
    {
        for (const auto& [job, reply] : running_)
            reply->abort();
        session_.reset();
    }

private:
    QNetworkAccessManager& session()
    {
        if (!session_)
            session_ = makeSession_ ? makeSession_() : std::make_unique<QNetworkAccessManager>();
        return *session_;
    }

    QCoro::Task<bool> fetch(DownloadJob job);

    ClipStore& store_;
    std::chrono::milliseconds stallTimeout_;
    ClipCacheLimits limits_;
    SessionFactory makeSession_;
    std::unique_ptr<QNetworkAccessManager> session_;
    std::map<const std::atomic<bool>*, QNetworkReply*> running_;
};

QCoro::Task<bool> ClipDownloader::Worker::fetch(DownloadJob job)
{
    const QUrl& url = job.url;
    const std::atomic<bool>& cancelled = *job.cancelled;
    auto fail = [&](const QString& reason) {
        platform::log::error(
            LogCategory::View, QStringLiteral("cache failed %1: %2").arg(lastPathComponent(url), reason));
        return false;
    };
    if (cancelled)
        co_return false;

    // A nearly full disk or a full cache starts nothing.
    ClipStore::Usage room = co_await store_.makeRoom(1, job.keep, limits_.maxCacheBytes, limits_.minFreeBytes);
    if (cancelled)
        co_return false;
    if (const auto reason = shortage(room, 1, limits_))
        co_return fail(*reason);
    const auto partial = store_.newPartial(job.partialName, limits_.minFreeBytes);
    if (const QString error = co_await store_.open(partial); !error.isEmpty()) {
        co_await store_.discard(partial);
        co_return cancelled ? false : fail(error);
    }

    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(stallTimeout_.count()));
    const platform::LaterPtr<QNetworkReply> reply(session().get(request));
    reply->setReadBufferSize(kReadBufferBytes);
    running_[&cancelled] = reply.get();
    const auto forget = qScopeGuard([this, &cancelled] { running_.erase(&cancelled); });
    // A cancel that came before the reply existed.
    if (cancelled)
        reply->abort();
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
                room = co_await store_.makeRoom(*announced, job.keep, limits_.maxCacheBytes, limits_.minFreeBytes);
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
            writes.emplace_back(store_.append(partial, chunk), chunk.size());
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
    if (cancelled)
        failure = QString();
    else if (!stop.isEmpty())
        failure = stop;
    else if (!status)
        failure = reply->errorString();
    else if (*status == 200)
        failure = incompleteBody(*reply, received);
    if (!failure && status == 200) {
        if (const QString error = co_await store_.commit(partial, job.name); !error.isEmpty())
            failure = error;
    }
    if (failure || status != 200)
        co_await store_.discard(partial);
    if (cancelled)
        co_return false;
    if (failure)
        co_return fail(*failure);
    if (status != 200) {
        platform::log::error(
            LogCategory::View, QStringLiteral("cache skip %1: HTTP %2").arg(url.toString()).arg(*status));
        co_return false;
    }
    platform::log::info(LogCategory::View, QStringLiteral("cached %1").arg(job.name));
    co_return true;
}

ClipDownloader::ClipDownloader(
    ClipStore& store, std::chrono::milliseconds stallTimeout, ClipCacheLimits limits, SessionFactory makeSession)
    : limits_(std::move(limits))
{
    thread_.setObjectName(QStringLiteral("clip downloads"));
    worker_ = new Worker(store, stallTimeout, limits_, std::move(makeSession));
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    // Receiving bytes gives way to the decoder and the painting when both want the processor.
    QObject::connect(
        &thread_, &QThread::started, worker_, [] { platform::lowerCurrentThreadPriority(); }, Qt::DirectConnection);
    thread_.start();
    if (QCoreApplication* application = QCoreApplication::instance()) {
        applicationWatch_ = std::make_unique<QObject>();
        QObject::connect(application, &QObject::destroyed, applicationWatch_.get(), [this] { stop(); });
    }
}

ClipDownloader::~ClipDownloader()
{
    stop();
}

void ClipDownloader::stop()
{
    if (std::exchange(stopped_, true))
        return;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->shutDown(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    worker_ = nullptr;
}

QFuture<bool> ClipDownloader::start(DownloadJob job)
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> future = promise->future();
    if (stopped_) {
        promise->addResult(false);
        promise->finish();
        return future;
    }
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, job = std::move(job), promise] { worker->run(job, promise); },
        Qt::QueuedConnection);
    return future;
}

void ClipDownloader::cancel(const DownloadJob& job)
{
    job.cancelled->store(true);
    if (stopped_)
        return;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, cancelled = job.cancelled] { worker->abort(cancelled.get()); },
        Qt::QueuedConnection);
}

} // namespace quorvel::extension
