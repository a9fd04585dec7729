#pragma once
// Fetches the community feed and falls back to the last good feed, then to the built-in clip.

#include "extension/feed_model.h"

#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QPointer>

#include <chrono>
#include <memory>
#include <vector>

namespace quorvel::extension {

inline constexpr const char* kLastGoodFeedName = "last-good-feed.json";
// Larger feed bodies are refused, the transfer cut off at this size: a feed is a few kilobytes.
inline constexpr qint64 kMaxFeedBytes = 1024 * 1024;

// Never fails outward and never returns an empty list: the fallback chain ends in `fallback`.
// A body that decodes (whatever the HTTP status) replaces "last-good-feed.json" in `cacheDirectory`.
// When `owner` goes away the request is dropped and the result is empty.
QCoro::Task<std::vector<Video>> loadPlaylist(std::shared_ptr<QNetworkAccessManager> network, QUrl feedURL,
    QString cacheDirectory, Video fallback, std::chrono::milliseconds timeout, QPointer<QObject> owner);

// The last good feed's videos; none when it is missing, unreadable or does not decode.
std::optional<std::vector<Video>> readLastGoodFeed(const QString& cacheDirectory);

} // namespace quorvel::extension
