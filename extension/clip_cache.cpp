#include "extension/clip_cache.h"

#include "extension/feed_loader.h"
#include "platform/delete_later.h"
#include "platform/log.h"

#include <QCoroNetworkReply>
#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryFile>

namespace quorvel::extension {
namespace {

using platform::LogCategory;

constexpr qint64 kReadBufferBytes = 1 << 20;

QString lastPathComponent(const QUrl& url)
{
    const QString name = url.fileName(QUrl::FullyDecoded);
    return name.isEmpty() ? QStringLiteral("/") : name;
}

} // namespace

ClipCache::ClipCache(
    QString directory, std::shared_ptr<QNetworkAccessManager> network, std::chrono::milliseconds stallTimeout)
    : directory_(std::move(directory))
    , network_(std::move(network))
    , stallTimeout_(stallTimeout)
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

QCoro::Task<> ClipCache::cacheClips(
    std::shared_ptr<ClipCache> cache, QPointer<QObject> owner, std::function<std::vector<Video>()> playlist)
{
    if (!owner)
        co_return;
    const std::vector<Video> snapshot = playlist();
    for (const Video& video : snapshot) {
        if (!owner)
            co_return;
        if (cache->cachedFileURL(video))
            continue;
        // The built-in clip and anything a feed names outside http(s) are never fetched.
        if (!isRemoteClipURL(video.url))
            continue;
        co_await cache->download(video.url, owner);
    }
    if (!owner)
        co_return;
    cache->prune(playlist());
}

QCoro::Task<bool> ClipCache::download(QUrl url, QPointer<QObject> owner)
{
    const QString dir = directory();
    const QString name = cacheFileName(url);
    const QString destination = QDir(dir).filePath(name);
    auto fail = [&](const QString& reason) {
        platform::log::error(
            LogCategory::View, QStringLiteral("cache failed %1: %2").arg(lastPathComponent(url), reason));
        return false;
    };

    if (inFlight_.contains(name))
        co_return false;

    // The clip streams into a hidden file beside its destination and is renamed into place only
    // when complete, so nothing half-downloaded is ever taken for a cached clip.
    QTemporaryFile partial(QDir(dir).filePath(QStringLiteral(".partial-XXXXXX")));
    if (!partial.open())
        co_return fail(partial.errorString());
    const QStringList claimed { name, QFileInfo(partial.fileName()).fileName() };
    for (const QString& entry : claimed)
        inFlight_.insert(entry);
    const auto release = qScopeGuard([this, claimed] {
        for (const QString& entry : claimed)
            inFlight_.remove(entry);
    });

    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(stallTimeout_.count()));
    const platform::LaterPtr<QNetworkReply> reply(network_->get(request));
    reply->setReadBufferSize(kReadBufferBytes);
    if (owner)
        QObject::connect(owner, &QObject::destroyed, reply.get(), &QNetworkReply::abort);

    QString writeError;
    auto drain = [&] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        while (reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->read(kReadBufferBytes);
            if (status != 200 || !writeError.isEmpty())
                continue;
            if (partial.write(chunk) != chunk.size()) {
                writeError = partial.errorString();
                reply->abort();
            }
        }
    };
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(), drain);
    co_await reply.get();
    drain();
    // The drain refers to this frame; nothing may call it once the task has returned.
    QObject::disconnect(reply.get(), &QIODevice::readyRead, nullptr, nullptr);

    if (!owner)
        co_return false;
    if (!writeError.isEmpty())
        co_return fail(writeError);
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttribute.isNull() ? 0 : statusAttribute.toInt();
    if (reply->error() != QNetworkReply::NoError && (statusAttribute.isNull() || status == 200))
        co_return fail(reply->errorString());
    if (status != 200) {
        platform::log::error(
            LogCategory::View, QStringLiteral("cache skip %1: HTTP %2").arg(url.toString()).arg(status));
        co_return false;
    }
    const QVariant declaredLength = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!partial.flush())
        co_return fail(partial.errorString());
    // A compressed transfer is inflated on the way, so only an identity body has to match its length.
    const bool identity = reply->rawHeader("Content-Encoding").isEmpty();
    if (identity && declaredLength.isValid() && declaredLength.toLongLong() != partial.size())
        co_return fail(QStringLiteral("the transfer ended after %1 of %2 bytes")
                           .arg(partial.size())
                           .arg(declaredLength.toLongLong()));

    QFile::remove(destination);
    if (!partial.rename(destination))
        co_return fail(partial.errorString());
    partial.setAutoRemove(false);
    platform::log::info(LogCategory::View, QStringLiteral("cached %1").arg(name));
    co_return true;
}

void ClipCache::prune(const std::vector<Video>& playlist) const
{
    QSet<QString> keep = inFlight_;
    keep.insert(QLatin1String(kLastGoodFeedName));
    for (const Video& video : playlist)
        keep.insert(cacheFileName(video.url));
    QDir dir(directory_);
    if (!dir.exists())
        return;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (keep.contains(entry))
            continue;
        const QFileInfo info(dir.filePath(entry));
        if (info.isDir() && !info.isSymLink())
            QDir(info.filePath()).removeRecursively();
        else
            dir.remove(entry);
    }
}

} // namespace quorvel::extension
