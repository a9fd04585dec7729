#pragma once
// The community feed as the player reads it, and the pure helpers that name and describe its clips.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>
#include <vector>

namespace quorvel::extension {

struct Video {
    QUrl url;
    std::optional<QString> author;
    std::optional<QString> location;
    std::optional<QString> date;
    std::optional<QString> title;

    bool operator==(const Video&) const = default;
};

struct Manifest {
    std::vector<Video> videos;
};

struct ManifestError {
    QString message;
};

// Decodes a feed body. Any entry that does not decode (missing or invalid "url", a field of the
// wrong type) fails the whole manifest; unknown keys are ignored.
std::variant<Manifest, ManifestError> decodeManifest(const QByteArray& body);

// "<base>/feed?t=<unix seconds>&user=<machine identifier>", no percent-encoding of either value.
QUrl feedRequestURL(const QString& serviceBaseUrl, const QDateTime& now, const QString& machineIdentifier);

// djb2 of the whole URL as "%08x_" plus its last two path components joined by "_". A clip at the
// root of its host gets the file name alone, so the name never holds a path separator.
QString cacheFileName(const QUrl& url);

// "2025-03-07" -> "Mar 7, 2025"; none, empty and unparsable dates come back unchanged.
std::optional<QString> displayDate(const std::optional<QString>& date);

// Author, location and display date, the empty ones dropped, joined by "  ·  ".
QString captionText(const Video& video);

// Only clips served over http(s) may come from a feed; anything else is never read, played or cached.
bool isRemoteClipURL(const QUrl& url);

// The clip shipped inside the bundle, used when no feed yields anything.
Video makeFallbackVideo(const QUrl& sampleClipURL);

} // namespace quorvel::extension
