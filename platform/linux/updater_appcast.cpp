#include "platform/appcast.h"
#include "platform/delete_later.h"
#include "platform/http_answer.h"
#include "platform/updater.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <memory>

namespace quorvel::platform {

namespace {

constexpr int kTransferTimeoutMs = 15'000;
// The feed is a few kilobytes; a larger answer is not one.
constexpr qint64 kMaxFeedBytes = 1024 * 1024;

UpdateCheckResult failure(QString text)
{
    UpdateCheckResult result;
    result.kind = UpdateCheckResult::Kind::Failed;
    result.errorText = std::move(text);
    return result;
}

UpdateCheckResult evaluate(const QByteArray& body, const QString& currentVersion)
{
    const auto parsed = detail::parseAppcast(body);
    if (const auto* error = std::get_if<QString>(&parsed))
        return failure(*error);
    const auto& items = std::get<QList<detail::AppcastItem>>(parsed);
    if (items.isEmpty())
        return failure(QStringLiteral("The update feed lists no versions."));
    const detail::AppcastItem* newest = &items.first();
    for (const auto& item : items)
        if (detail::compareVersions(item.version, newest->version) > 0)
            newest = &item;

    UpdateCheckResult result;
    result.latestVersion = newest->shortVersion.isEmpty() ? newest->version : newest->shortVersion;
    result.downloadUrl = newest->downloadUrl;
    result.kind = detail::compareVersions(newest->version, currentVersion) > 0
        ? UpdateCheckResult::Kind::UpdateAvailable
        : UpdateCheckResult::Kind::UpToDate;
    return result;
}

} // namespace

AppcastUpdater::AppcastUpdater(QNetworkAccessManager& network, QUrl appcastUrl, QString currentVersion, QObject* parent)
    : Updater(parent)
    , network_(network)
    , appcastUrl_(std::move(appcastUrl))
    , currentVersion_(std::move(currentVersion))
{
}

void AppcastUpdater::start()
{
    if (std::exchange(started_, true))
        return;
    check(false);
}

void AppcastUpdater::checkForUpdates()
{
    check(true);
}

QCoro::Task<> AppcastUpdater::check(bool userInitiated)
{
    QPointer<AppcastUpdater> self(this);
    QNetworkRequest request(appcastUrl_);
    request.setTransferTimeout(kTransferTimeoutMs);
    LaterPtr<QNetworkReply> reply(network_.get(request));
    limitReplyBody(*reply, kMaxFeedBytes);
    co_await reply.get();
    if (!self)
        co_return;

    UpdateCheckResult result;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (exceededReplyLimit(*reply))
        result = failure(QStringLiteral("The update feed is too large."));
    else if (reply->error() != QNetworkReply::NoError && status == 0)
        result = failure(QStringLiteral("The update server could not be reached: %1").arg(reply->errorString()));
    else if (status != 200)
        result = failure(QStringLiteral("The update server answered with status %1.").arg(status));
    else if (reply->error() != QNetworkReply::NoError)
        result = failure(QStringLiteral("The update feed did not arrive whole: %1").arg(reply->errorString()));
    else
        result = evaluate(reply->readAll(), currentVersion_);
    result.userInitiated = userInitiated;
    emit checkFinished(result);
}

} // namespace quorvel::platform
