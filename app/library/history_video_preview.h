#pragma once
// The large preview of one library clip: its title, the clip, its prompt and its recipe, over
// the library window until closed.

#include "app/library/library_item.h"
#include "platform/media_player.h"

#include <QDialog>

#include <memory>

class QPlainTextEdit;

namespace quorvel::library {

class ElidedLabel;
class PlayerView;
class ThumbnailCache;

class HistoryVideoPreview final : public QDialog {
    Q_OBJECT
public:
    // Each preview starts with a new, empty player from `players`. The clip's thumbnail from
    // `thumbnails` (if given) shows until the first frame, also when it is decoded only after the
    // sheet opened.
    HistoryVideoPreview(LibraryItem item, const platform::MediaPlayerFactory& players,
        ThumbnailCache* thumbnails = nullptr, QWidget* parent = nullptr);
    ~HistoryVideoPreview() override;

    const LibraryItem& item() const { return item_; }
    // The sheet's own player; null when the factory made none.
    platform::MediaPlayer* player() const { return player_.get(); }
    PlayerView* playerView() const { return playerView_; }
    QString headerText() const;
    QString recipeText() const;
    QString promptText() const;

protected:
    // Shown: the player is given the clip (a fresh item each time); hidden: it pauses.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    LibraryItem item_;
    std::unique_ptr<platform::MediaPlayer> player_;
    ElidedLabel* header_ = nullptr;
    PlayerView* playerView_ = nullptr;
    QPlainTextEdit* prompt_ = nullptr;
    ElidedLabel* recipe_ = nullptr;
};

} // namespace quorvel::library
