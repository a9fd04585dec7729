#include "extension/feed_model.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringList>
#include <QTimeZone>

namespace quorvel::extension {
namespace {

// A present, non-null field must be a string; anything else fails the entry (as a typed decoder does).
bool decodeOptionalString(const QJsonObject& object, const char* key, std::optional<QString>& out, QString& error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString()) {
        error = QStringLiteral("\"%1\" is not a string").arg(QLatin1String(key));
        return false;
    }
    out = value.toString();
    return true;
}

std::optional<Video> decodeVideo(const QJsonValue& value, QString& error)
{
    if (!value.isObject()) {
        error = QStringLiteral("entry is not an object");
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue url = object.value(QLatin1String("url"));
    if (!url.isString()) {
        error = url.isUndefined() || url.isNull() ? QStringLiteral("missing \"url\"")
                                                  : QStringLiteral("\"url\" is not a string");
        return std::nullopt;
    }
    Video video;
    video.url = QUrl(url.toString(), QUrl::StrictMode);
    if (url.toString().isEmpty() || !video.url.isValid()) {
        error = QStringLiteral("\"url\" is not a valid URL");
        return std::nullopt;
    }
    if (!decodeOptionalString(object, "author", video.author, error)
        || !decodeOptionalString(object, "location", video.location, error)
        || !decodeOptionalString(object, "date", video.date, error)
        || !decodeOptionalString(object, "title", video.title, error))
        return std::nullopt;
    return video;
}

} // namespace

std::variant<Manifest, ManifestError> decodeManifest(const QByteArray& body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return ManifestError { QStringLiteral("The feed is not valid JSON (%1 at offset %2).")
                                   .arg(parseError.errorString())
                                   .arg(parseError.offset) };
    if (!document.isObject())
        return ManifestError { QStringLiteral("The feed is not a JSON object.") };
    const QJsonValue videos = document.object().value(QLatin1String("videos"));
    if (!videos.isArray())
        return ManifestError { videos.isUndefined() ? QStringLiteral("The feed has no \"videos\".")
                                                    : QStringLiteral("The feed's \"videos\" is not an array.") };
    Manifest manifest;
    const QJsonArray entries = videos.toArray();
    manifest.videos.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QString error;
        std::optional<Video> video = decodeVideo(entries.at(i), error);
        if (!video)
            return ManifestError { QStringLiteral("The feed's video %1 cannot be read: %2.").arg(i).arg(error) };
        manifest.videos.push_back(std::move(*video));
    }
    return manifest;
}

QUrl feedRequestURL(const QString& serviceBaseUrl, const QDateTime& now, const QString& machineIdentifier)
{
    const qint64 seconds = now.toMSecsSinceEpoch() / 1000; // truncates toward zero
    return QUrl(serviceBaseUrl + QStringLiteral("/feed?t=") + QString::number(seconds) + QStringLiteral("&user=")
        + machineIdentifier);
}

QString cacheFileName(const QUrl& url)
{
    quint64 hash = 5381;
    for (const char byte : url.toString(QUrl::FullyEncoded).toUtf8())
        hash = hash * 33 + static_cast<unsigned char>(byte);
    const QString prefix = QStringLiteral("%1_").arg(static_cast<quint32>(hash), 8, 16, QLatin1Char('0'));

    // Components as the platform splits them: the leading "/" is one of its own.
    QStringList components;
    const QString path = url.path(QUrl::FullyDecoded);
    if (path.startsWith(QLatin1Char('/')))
        components << QStringLiteral("/");
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        components << part;
    if (components.size() > 2)
        components = components.mid(components.size() - 2);
    // The root component would put a separator into the name: a clip at the root of its host is
    // named by its file name alone.
    components.removeAll(QStringLiteral("/"));
    QString tail = components.join(QLatin1Char('_'));
    tail.replace(QLatin1Char('/'), QLatin1Char('_'));
    return prefix + tail;
}

std::optional<QString> displayDate(const std::optional<QString>& date)
{
    if (!date || date->isEmpty())
        return date;
    static const QLocale posix(QLocale::C);
    const QDate day = posix.toDate(*date, QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return date;
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(day, QStringLiteral("MMM d, yyyy"));
}

QString captionText(const Video& video)
{
    QStringList parts;
    for (const std::optional<QString>& part : { video.author, video.location, displayDate(video.date) })
        if (part && !part->isEmpty())
            parts << *part;
    return parts.join(QStringLiteral("  \u00B7  "));
}

bool isRemoteClipURL(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

Video makeFallbackVideo(const QUrl& sampleClipURL)
{
    return Video { sampleClipURL, QStringLiteral("Quorvel"), QString(), QString(), std::nullopt };
}

} // namespace quorvel::extension
