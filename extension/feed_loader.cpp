#include "extension/feed_loader.h"

#include "extension/transfer_check.h"
#include "platform/delete_later.h"
#include "platform/http_answer.h"
#include "platform/log.h"

#include <QCoroNetworkReply>
#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

namespace quorvel::extension {
namespace {

using platform::LogCategory;

void writeLastGoodFeed(const QString& cacheDirectory, const QByteArray& body)
{
    QDir().mkpath(cacheDirectory);
    // Whole or not at all: a crash mid-write must not destroy the previous good feed.
    QSaveFile file(QDir(cacheDirectory).filePath(QLatin1String(kLastGoodFeedName)));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(body);
    file.commit();
}

} // namespace

std::optional<std::vector<Video>> readLastGoodFeed(const QString& cacheDirectory)
{
    QFile file(QDir(cacheDirectory).filePath(QLatin1String(kLastGoodFeedName)));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    auto decoded = decodeManifest(file.readAll());
    if (auto* manifest = std::get_if<Manifest>(&decoded))
        return std::move(manifest->videos);
    return std::nullopt;
}

QCoro::Task<std::vector<Video>> loadPlaylist(std::shared_ptr<QNetworkAccessManager> network, QUrl feedURL,
    QString cacheDirectory, Video fallback, std::chrono::milliseconds timeout, QPointer<QObject> owner)
{
    QNetworkRequest request(feedURL);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    const platform::LaterPtr<QNetworkReply> reply(network->get(request));
    // A body far beyond a feed's size is not one and must not fill memory.
    platform::limitReplyBody(*reply, kMaxFeedBytes);
    if (owner)
        QObject::connect(owner, &QObject::destroyed, reply.get(), &QNetworkReply::abort);
    co_await reply.get();
    if (!owner)
        co_return std::vector<Video> {};

    std::optional<std::vector<Video>> videos;
    if (platform::exceededReplyLimit(*reply)) {
        platform::log::error(
            LogCategory::View, QStringLiteral("manifest failed: The feed is larger than %1 bytes.").arg(kMaxFeedBytes));
    } else if (const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
               const auto cut = incompleteBody(*reply, body.size())) {
        // Part of a body is never a feed, even when the part happens to parse: the last good feed
        // must not be replaced by a cut one.
        platform::log::error(LogCategory::View, QStringLiteral("manifest failed: %1").arg(*cut));
    } else {
        // An answer of any status counts when its body is a manifest.
        auto decoded = decodeManifest(body);
        if (auto* manifest = std::get_if<Manifest>(&decoded)) {
            writeLastGoodFeed(cacheDirectory, body);
            platform::log::info(LogCategory::View, QStringLiteral("manifest: %1 videos").arg(manifest->videos.size()));
            videos = std::move(manifest->videos);
        } else {
            platform::log::error(
                LogCategory::View, QStringLiteral("manifest failed: %1").arg(std::get<ManifestError>(decoded).message));
        }
    }

    if (!videos) {
        videos = readLastGoodFeed(cacheDirectory);
        if (videos)
            platform::log::info(
                LogCategory::View, QStringLiteral("using last-good feed (%1 videos)").arg(videos->size()));
    }
    if (!videos || videos->empty())
        videos = std::vector<Video> { std::move(fallback) };
    co_return std::move(*videos);
}

} // namespace quorvel::extension
