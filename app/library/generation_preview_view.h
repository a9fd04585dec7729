#pragma once
// The "preview" window's widgets over a GenerationPreviewModel: the empty label, or the finished
// clip in the library's player view beside its recipe card, with the title field and the two
// follow-up buttons.

#include "app/library/generation_preview_model.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace quorvel::library {

class GenerationRecipeView;
class PlayerView;
class ThumbnailCache;

class GenerationPreviewView final : public QWidget {
    Q_OBJECT
public:
    // `model` becomes the view's child; the player view shows the model's player. Until the clip
    // plays, its first frame from `posters` (when given; it must outlive the view) stands in for it.
    explicit GenerationPreviewView(
        GenerationPreviewModel* model, ThumbnailCache* posters = nullptr, QWidget* parent = nullptr);

    GenerationPreviewModel& model() { return *model_; }
    // For tests.
    bool showsClip() const;
    QLineEdit* titleField() const { return title_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* publishButton() const { return publish_; }
    QLabel* statusText() const { return statusText_; }
    QLabel* errorText() const { return errorText_; }
    GenerationRecipeView* recipe() const { return recipe_; }
    PlayerView* playerView() const { return player_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildEmpty();
    QWidget* buildClip();
    QWidget* buildTitleArea(QWidget* parent);
    void refresh();
    void refreshPoster();

    GenerationPreviewModel* model_;
    ThumbnailCache* posters_;
    // The clip whose poster is shown or awaited.
    std::optional<QUrl> posterClip_;
    QStackedWidget* pages_ = nullptr;
    QWidget* empty_ = nullptr;
    QWidget* clip_ = nullptr;
    PlayerView* player_ = nullptr;
    GenerationRecipeView* recipe_ = nullptr;
    QLineEdit* title_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* publish_ = nullptr;
    QWidget* status_ = nullptr;
    QLabel* statusText_ = nullptr;
    QWidget* error_ = nullptr;
    QLabel* errorText_ = nullptr;
};

} // namespace quorvel::library
