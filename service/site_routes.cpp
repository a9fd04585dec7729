// Files under /cdn/ (streamed with byte ranges), the appcast and the release pages.
#include "service/byte_range.h"
#include "service/service_api.h"
#include "service/vocabulary.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace quorvel::service {
namespace {

QString xmlEscaped(const QString& text)
{
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1Char('\''), QStringLiteral("&apos;"));
    return escaped;
}

Response fileResponse(const Request& request, const QString& path, const QByteArray& contentType)
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw ApiError::notFound(QStringLiteral("No such file."));
    const qint64 size = info.size();
    const RangeRequest range = parseRange(request.header("Range"), size);
    if (range.kind == RangeRequest::Kind::Unsatisfiable) {
        Response response = Response::error(
            { ApiError::Code::RangeNotSatisfiable, QStringLiteral("The requested range is outside the file."), {} });
        response.headers.emplace_back("Content-Range", "bytes */" + QByteArray::number(size));
        response.headers.emplace_back("Accept-Ranges", "bytes");
        return response;
    }
    Response response;
    response.contentType = contentType;
    response.headers.emplace_back("Accept-Ranges", "bytes");
    if (range.kind == RangeRequest::Kind::Partial) {
        response.status = 206;
        response.file = Response::FileRange { path, range.offset, range.length };
        response.headers.emplace_back("Content-Range",
            "bytes " + QByteArray::number(range.offset) + '-' + QByteArray::number(range.offset + range.length - 1)
                + '/' + QByteArray::number(size));
    } else {
        response.file = Response::FileRange { path, 0, size };
    }
    return response;
}

} // namespace

void ServiceApi::cdn(const Request& request, const Reply& reply)
{
    const QString rest = request.path.mid(QStringLiteral("/cdn/").size());
    // Only names from fixed patterns reach the file system, so no path can climb out.
    if (rest == QLatin1String("logo.png")) {
        reply.send(fileResponse(request, assetsDir_ + QStringLiteral("/logo.png"), "image/png"));
        return;
    }
    static const QRegularExpression stylePattern(QStringLiteral("^styles/([a-z]+)\\.png$"));
    if (const auto match = stylePattern.match(rest);
        match.hasMatch() && vocabulary::styles().contains(match.captured(1))) {
        reply.send(fileResponse(request,
            assetsDir_ + QStringLiteral("/styles/") + match.captured(1) + QStringLiteral(".png"), "image/png"));
        return;
    }
    static const QRegularExpression clipPattern(QStringLiteral("^clips/([0-9a-f]{32})\\.mp4$"));
    if (const auto match = clipPattern.match(rest); match.hasMatch()) {
        reply.send(fileResponse(request, renderer_.clipPath(match.captured(1)), "video/mp4"));
        return;
    }
    throw ApiError::notFound(QStringLiteral("No such file."));
}

void ServiceApi::appcast(const Request&, const Reply& reply)
{
    QString items;
    for (const Release& release : config_.releases) {
        const QString link = config_.publicUrl + QStringLiteral("/releases/") + release.shortVersion;
        items += QStringLiteral("    <item>\n      <title>Quorvel %1</title>\n      <link>%2</link>\n"
                                "      <enclosure url=\"%2\" quorvel:version=\"%3\" quorvel:shortVersionString=\"%1\" "
                                "type=\"text/html\" />\n"
                                "    </item>\n")
                     .arg(xmlEscaped(release.shortVersion), xmlEscaped(link), QString::number(release.build));
    }
    const QString xml
        = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                         "<rss version=\"2.0\" xmlns:quorvel=\"https://quorvel.com/xml-namespaces/appcast\">\n"
                         "  <channel>\n    <title>Quorvel</title>\n    <link>%1/appcast.xml</link>\n"
                         "    <description>Quorvel releases</description>\n%2  </channel>\n</rss>\n")
              .arg(xmlEscaped(config_.publicUrl), items);
    Response response;
    response.contentType = "application/rss+xml; charset=utf-8";
    response.body = xml.toUtf8();
    reply.send(response);
}

void ServiceApi::releasePage(const Request& request, const Reply& reply)
{
    const QString version = request.path.mid(QStringLiteral("/releases/").size());
    for (const Release& release : config_.releases) {
        if (release.shortVersion != version)
            continue;
        reply.send(Response::html(200,
            QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                           "<title>Quorvel %1</title></head><body><h1>Quorvel %1</h1>"
                           "<p>Build %2. Update with <code>git pull</code> and <code>scripts/run</code>.</p>"
                           "</body></html>\n")
                .arg(version.toHtmlEscaped(), QString::number(release.build))
                .toUtf8()));
        return;
    }
    throw ApiError::notFound(QStringLiteral("No such release."));
}

} // namespace quorvel::service
