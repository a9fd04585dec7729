#include "app/library/library_view.h"

#include "app/client/auth_store.h"
#include "app/client/service_json.h"
#include "platform/log.h"

#include <QJsonArray>
#include <QPointer>

namespace quorvel::library {

using platform::LogCategory;

namespace {

// The `videos` array when every element is an object; none for any other reply.
std::optional<QList<LibraryItem>> parseHistory(const QByteArray& body)
{
    const std::optional<QJsonObject> reply = app::json::object(body);
    if (!reply)
        return std::nullopt;
    const QJsonValue videos = reply->value(QLatin1String("videos"));
    if (!videos.isArray())
        return std::nullopt;
    QList<LibraryItem> items;
    for (const QJsonValue& entry : videos.toArray()) {
        if (!entry.isObject())
            return std::nullopt;
        if (std::optional<LibraryItem> item = LibraryItem::fromJson(entry.toObject()))
            items.append(std::move(*item));
    }
    return items;
}

} // namespace

QString actionWord(UpdateAction action)
{
    return action == UpdateAction::Title ? QStringLiteral("title") : QStringLiteral("publish");
}

LibraryView::LibraryView(app::AuthStore& auth, QObject* parent)
    : QObject(parent)
    , auth_(auth)
{
}

std::optional<LibraryItem> LibraryView::item(const QString& url) const
{
    for (const LibraryItem& item : items_)
        if (item.url == url)
            return item;
    return std::nullopt;
}

QCoro::Task<> LibraryView::loadHistory()
{
    QPointer<LibraryView> self(this);
    const quint64 generation = ++loadGeneration_;
    app::AuthStore& auth = auth_;
    const app::AuthorizedResult result = co_await auth.history();
    // A window closed meanwhile, or a newer refresh started: this answer is no longer wanted.
    if (!self || generation != loadGeneration_)
        co_return;
    loaded_ = true;
    lastLoadSucceeded_ = false;
    if (const std::optional<QString> failure = result.failure()) {
        platform::log::error(LogCategory::HostApp, QStringLiteral("History load failed: ") + *failure);
        setError(texts::loadFailed);
        co_return;
    }
    std::optional<QList<LibraryItem>> items;
    if (result.status() == 200)
        items = parseHistory(result.body());
    if (!items) {
        platform::log::error(LogCategory::HostApp, QStringLiteral("History load returned an unexpected response."));
        setError(texts::loadFailed);
        co_return;
    }
    items_ = std::move(*items);
    lastLoadSucceeded_ = true;
    error_.reset();
    emit itemsChanged(QString());
    emit stateChanged();
}

QCoro::Task<> LibraryView::updateItem(UpdateAction action, LibraryItem item, QString failureText)
{
    QPointer<LibraryView> self(this);
    const QString word = actionWord(action);
    app::AuthStore& auth = auth_;
    const QString user = auth.machineIdentifier();
    const app::AuthorizedResult result = co_await auth.updateClip(word, item.url, item.title, user);
    if (!self)
        co_return;
    if (const std::optional<QString> failure = result.failure()) {
        platform::log::error(LogCategory::HostApp, word + QStringLiteral(" failed: ") + *failure);
        setError(failureText);
        co_return;
    }
    if (result.status() != 200) {
        platform::log::error(LogCategory::HostApp, word + QStringLiteral(" returned status %1.").arg(result.status()));
        setError(failureText);
        co_return;
    }
    auto listed = std::find_if(items_.begin(), items_.end(), [&](const LibraryItem& i) { return i.url == item.url; });
    if (action == UpdateAction::Publish && listed != items_.end()) {
        listed->approved = true;
        emit itemsChanged(item.url);
    } else {
        savedUrl_ = item.url;
    }
    error_.reset();
    emit stateChanged();
}

void LibraryView::setTitle(const QString& url, const QString& title)
{
    for (LibraryItem& item : items_) {
        if (item.url == url && item.title != title) {
            item.title = title;
            emit itemsChanged(url);
        }
    }
}

QCoro::Task<> LibraryView::saveTitle(QString url)
{
    if (std::optional<LibraryItem> listed = item(url))
        co_await updateItem(UpdateAction::Title, std::move(*listed), texts::titleFailed);
}

QCoro::Task<> LibraryView::publish(QString url)
{
    if (std::optional<LibraryItem> listed = item(url))
        co_await updateItem(UpdateAction::Publish, std::move(*listed), texts::publishFailed);
}

void LibraryView::setPreviewItem(std::optional<LibraryItem> item)
{
    if (previewItem_ == item)
        return;
    previewItem_ = std::move(item);
    emit previewItemChanged();
}

void LibraryView::setError(std::optional<QString> error)
{
    error_ = std::move(error);
    emit stateChanged();
}

} // namespace quorvel::library
