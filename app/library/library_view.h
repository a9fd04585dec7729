#pragma once
// The library screen's state: this Mac's past clips from the service, their titles and publishing,
// and which clip the large preview shows. Nothing here is persisted.

#include "app/library/library_item.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace quorvel::app {
class AuthStore;
}

namespace quorvel::library {

namespace texts {
inline const QString loadFailed = QStringLiteral("Couldn't load Your Wumbles. Please try again.");
inline const QString titleFailed = QStringLiteral("Couldn't save the title.");
inline const QString publishFailed = QStringLiteral("Couldn't add this wumble to the community.");
} // namespace texts

enum class UpdateAction { Title, Publish };
// "title" or "publish": the path word and the word in log lines.
QString actionWord(UpdateAction action);

class LibraryView final : public QObject {
    Q_OBJECT
public:
    // `auth` must outlive the view.
    explicit LibraryView(app::AuthStore& auth, QObject* parent = nullptr);

    // In the order the service sent them.
    const QList<LibraryItem>& items() const { return items_; }
    // A load has finished, successfully or not.
    bool loaded() const { return loaded_; }
    // The last load succeeded and listed nothing: only then does the screen say there are no clips.
    bool showsEmptyState() const { return lastLoadSucceeded_ && items_.isEmpty(); }
    // The last load or update failure shown on the screen.
    std::optional<QString> error() const { return error_; }
    std::optional<LibraryItem> previewItem() const { return previewItem_; }
    // The address of the item whose title was saved last.
    std::optional<QString> savedUrl() const { return savedUrl_; }
    // The item listed with this address, if any.
    std::optional<LibraryItem> item(const QString& url) const;

    // Replaces the items from the service; a failure keeps them and sets the error.
    QCoro::Task<> loadHistory();
    // Sends the item's title, exactly as typed, with the action; see the screen's failure texts.
    QCoro::Task<> updateItem(UpdateAction action, LibraryItem item, QString failureText);
    // The controls of one tile: the title as typed into its field, "Save Title" and
    // "Add to Community", each for the item listed under `url` now.
    void setTitle(const QString& url, const QString& title);
    QCoro::Task<> saveTitle(QString url);
    QCoro::Task<> publish(QString url);
    void setPreviewItem(std::optional<LibraryItem> item);

signals:
    // Items were replaced (a load) or one item changed; `url` is empty for a replacement.
    void itemsChanged(const QString& url);
    void stateChanged();
    void previewItemChanged();

private:
    void setError(std::optional<QString> error);

    app::AuthStore& auth_;
    QList<LibraryItem> items_;
    bool loaded_ = false;
    bool lastLoadSucceeded_ = false;
    std::optional<QString> error_;
    std::optional<LibraryItem> previewItem_;
    std::optional<QString> savedUrl_;
    // Only the latest of overlapping loads may replace the items.
    quint64 loadGeneration_ = 0;
};

} // namespace quorvel::library
