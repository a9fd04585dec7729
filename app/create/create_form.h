#pragma once
// The create window's widgets over a CreateView: they show its state, pass the user's edits and
// actions to it, and hold no state of their own beyond what a widget needs to draw.

#include "app/create/create_view.h"

#include <QHash>
#include <QPointer>
#include <QScrollArea>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QGraphicsOpacityEffect;
class QLabel;
class QLineEdit;
class QMessageBox;
class QNetworkAccessManager;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace quorvel::platform {
class Clock;
class DesktopAppearance;
} // namespace quorvel::platform

namespace quorvel::create {

class CameraMotionPreview;

class CreateForm final : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int tileSize = 76;
    static constexpr int tileSpacing = 8;
    // As many columns of cells at least `tileSize` wide, `tileSpacing` apart, as `width` holds; one at least.
    static int styleGridColumns(int width);

    // `view` becomes the form's child. Thumbnails are fetched through `network` from `cdnBaseUrl`
    // (ending in "/"); a tile whose image never comes shows its key alone. `clock`, `desktop` and
    // `network` must outlive the form.
    CreateForm(CreateView* view, QNetworkAccessManager& network, const QString& cdnBaseUrl,
        const platform::Clock& clock, const platform::DesktopAppearance& desktop, QWidget* parent = nullptr);

    CreateView& view() { return *view_; }
    // For tests: the tile of a style key, and whether its thumbnail arrived.
    QToolButton* styleTile(const QString& key) const { return tiles_.value(key); }
    bool hasThumbnail(const QString& key) const { return thumbnails_.contains(key); }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildBanner();
    QWidget* buildHeader();
    QWidget* buildPrompt();
    QWidget* buildStyleGrid();
    QWidget* buildFineTune(const platform::Clock& clock, const platform::DesktopAppearance& desktop);
    QWidget* buildOutOfCredits();
    QWidget* buildBottomRow();
    QWidget* buildDebug();
    void loadThumbnails(QNetworkAccessManager& network, const QString& cdnBaseUrl);
    void refresh();
    void showRejection();

    CreateView* view_;
    bool appeared_ = false;
    QHash<QString, QToolButton*> tiles_;
    QHash<QString, bool> thumbnails_;

    QFrame* banner_ = nullptr;
    QLabel* bannerText_ = nullptr;
    QPushButton* retry_ = nullptr;
    QLineEdit* handle_ = nullptr;
    QPlainTextEdit* prompt_ = nullptr;
    QGraphicsOpacityEffect* promptOpacity_ = nullptr;
    QLabel* counter_ = nullptr;
    QPushButton* surprise_ = nullptr;
    QLabel* error_ = nullptr;
    QComboBox* motion_ = nullptr;
    CameraMotionPreview* preview_ = nullptr;
    QComboBox* vibe_ = nullptr;
    QPushButton* lite_ = nullptr;
    QPushButton* standard_ = nullptr;
    QFrame* outOfCredits_ = nullptr;
    QLabel* outOfCreditsBody_ = nullptr;
    QPushButton* outOfCreditsButton_ = nullptr;
    QPushButton* primary_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* creditLine_ = nullptr;
    QPushButton* seePlans_ = nullptr;
    QWidget* debug_ = nullptr;
    QCheckBox* debugSwitch_ = nullptr;
    QLabel* debugText_ = nullptr;
    QPointer<QMessageBox> alert_;
};

} // namespace quorvel::create
