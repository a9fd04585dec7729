#pragma once
// The "library" window's content: a thin layer over LibraryView, one tile per clip.

#include "app/library/history_video_preview.h"
#include "app/library/library_view.h"
#include "platform/media_player.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <functional>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QToolButton;

namespace quorvel::library {

class ElidedLabel;
class PlayerView;
class ThumbnailCache;

// One clip of the library: its player (made only when the user starts it), recipe, title and
// publishing controls.
class LibraryTile final : public QWidget {
    Q_OBJECT
public:
    LibraryTile(LibraryView& view, const LibraryItem& item, const platform::MediaPlayerFactory& players,
        QWidget* parent = nullptr);

    QString url() const { return item_.url; }
    void present(const LibraryItem& item, bool titleSaved);
    PlayerView* playerView() const { return player_; }
    bool hasPoster() const;
    void setPoster(const QImage& poster);

signals:
    void previewRequested(const QString& url);

private:
    LibraryView& view_;
    LibraryItem item_;
    PlayerView* player_ = nullptr;
    ElidedLabel* style_ = nullptr;
    ElidedLabel* quality_ = nullptr;
    ElidedLabel* sound_ = nullptr;
    QLineEdit* title_ = nullptr;
    QPushButton* publish_ = nullptr;
    QLabel* published_ = nullptr;
    QWidget* saved_ = nullptr;
};

struct LibraryWidgetServices {
    platform::MediaPlayerFactory players;
    // First-frame thumbnails; none shows tiles without a picture until started.
    ThumbnailCache* thumbnails = nullptr;
    // Opens the Create window.
    std::function<void()> openCreate;
};

class LibraryWidget final : public QWidget {
    Q_OBJECT
public:
    // Takes `view` as its child; it loads the history when first shown.
    LibraryWidget(LibraryView* view, LibraryWidgetServices services, QWidget* parent = nullptr);

    LibraryView& view() { return *view_; }
    // In list order.
    QList<LibraryTile*> tiles() const { return tiles_; }
    HistoryVideoPreview* preview() const { return preview_; }
    // Asks for the thumbnails of the tiles that can be seen now.
    void requestVisibleThumbnails();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuildTiles();
    void refreshTile(const QString& url);
    void refreshState();
    void presentPreview();
    void scheduleThumbnails();

    LibraryView* view_;
    LibraryWidgetServices services_;
    bool appeared_ = false;
    bool thumbnailsPending_ = false;
    QLabel* warningIcon_ = nullptr;
    QLabel* warning_ = nullptr;
    QWidget* warningRow_ = nullptr;
    QWidget* empty_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* grid_ = nullptr;
    QGridLayout* gridLayout_ = nullptr;
    QList<LibraryTile*> tiles_;
    QPointer<HistoryVideoPreview> preview_;
};

} // namespace quorvel::library
