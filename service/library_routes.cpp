// A machine's own clips (history, title, publish) and the community feed.
#include "service/request_fields.h"
#include "service/service_api.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace quorvel::service {

void ServiceApi::updateClip(const QString& action, const Request& request, const Reply& reply)
{
    const QString machine = authenticate(request);
    const QJsonObject body = jsonBody(request);
    const QString url = stringField(body, QStringLiteral("url"), 2048);
    const QString title = stringField(body, QStringLiteral("title"), 4096);
    requireSameUser(machine, stringField(body, QStringLiteral("user"), 256));
    if (title.size() > kMaxTitle)
        throw ApiError::badRequest(QStringLiteral("Keep the title under %1 characters.").arg(kMaxTitle));
    const QString id = clipIdFromUrl(url);
    const bool updated = !id.isEmpty()
        && (action == QLatin1String("title") ? store_.setTitle(id, machine, title)
                                             : store_.publish(id, machine, title, clock_.nowMs()));
    if (!updated)
        throw ApiError::notFound(QStringLiteral("This Mac has no finished clip at that address."));
    feedCache_.clear();
    reply.send(Response::json(200, { { "ok", true } }));
}

void ServiceApi::history(const Request& request, const Reply& reply)
{
    const QString machine = authenticate(request);
    requireSameUser(machine, requiredQuery(request, QStringLiteral("user")));
    QJsonArray videos;
    for (const JobRecord& job : store_.history(machine)) {
        videos.append(QJsonObject {
            { "url", clipUrl(job.id) },
            { "author", job.handle.isEmpty() ? QStringLiteral("anonymous") : job.handle },
            { "date", isoDay(job.createdMs) },
            { "title", job.title },
            { "prompt", job.prompt },
            { "style", job.style },
            { "motion", job.motion },
            { "vibe", job.vibe },
            { "tier", job.lite ? QStringLiteral("Lite") : QStringLiteral("Standard") },
            { "soundscape", job.soundscape },
            { "approved", job.approved },
        });
    }
    reply.send(Response::json(200, { { "videos", videos } }));
}

void ServiceApi::feed(const Request&, const Reply& reply)
{
    // The feed is public: the extension sends no token, only the time and its machine, so every
    // screensaver start asks for the same bytes until a clip is titled or published.
    if (feedCache_.isEmpty())
        feedCache_ = buildFeed();
    Response response;
    response.contentType = "application/json";
    response.body = feedCache_;
    response.headers.emplace_back("Cache-Control", "no-store");
    reply.send(response);
}

QByteArray ServiceApi::buildFeed()
{
    QJsonArray videos;
    for (const JobRecord& job : store_.feed(kFeedSize)) {
        QJsonObject video {
            { "url", clipUrl(job.id) },
            { "author", job.handle.isEmpty() ? QStringLiteral("anonymous") : job.handle },
            { "location", config_.location },
            { "date", isoDay(job.publishedMs) },
        };
        if (!job.title.trimmed().isEmpty())
            video.insert("title", job.title);
        videos.append(video);
    }
    return QJsonDocument(QJsonObject { { "videos", videos } }).toJson(QJsonDocument::Compact);
}

} // namespace quorvel::service
