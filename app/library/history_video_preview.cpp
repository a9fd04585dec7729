#include "app/library/history_video_preview.h"

#include "app/library/elided_label.h"
#include "app/library/player_view.h"
#include "app/library/thumbnail_cache.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvel::library {

HistoryVideoPreview::HistoryVideoPreview(
    LibraryItem item, const platform::MediaPlayerFactory& players, ThumbnailCache* thumbnails, QWidget* parent)
    : QDialog(parent)
    , item_(std::move(item))
    , player_(players ? players() : nullptr)
{
    setWindowTitle(recipe::headerTitle(item_));
    setModal(true);
    resize(720, 600);

    header_ = new ElidedLabel(recipe::headerTitle(item_), this);
    QFont titleFont = header_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setWeight(QFont::DemiBold);
    header_->setFont(titleFont);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* headerRow = new QHBoxLayout;
    headerRow->addWidget(header_, 1);
    headerRow->addWidget(close);

    // The sheet feeds its own player, so the view never makes one from an address.
    playerView_ = new PlayerView(platform::MediaPlayerFactory(), this);
    playerView_->setPlayer(player_.get());
    playerView_->setMinimumHeight(300);

    auto* promptGroup = new QGroupBox(QStringLiteral("Prompt"), this);
    prompt_ = new QPlainTextEdit(promptGroup);
    prompt_->setReadOnly(true);
    prompt_->setPlainText(item_.prompt);
    prompt_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    prompt_->setMaximumHeight(prompt_->fontMetrics().lineSpacing() * 4 + 12);
    prompt_->setAccessibleName(QStringLiteral("Prompt"));
    auto* promptLayout = new QVBoxLayout(promptGroup);
    promptLayout->addWidget(prompt_);

    recipe_ = new ElidedLabel(recipe::line(item_), this);
    recipe_->setForegroundRole(QPalette::PlaceholderText);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(headerRow);
    layout->addWidget(playerView_, 1);
    layout->addWidget(promptGroup);
    layout->addWidget(recipe_);

    // Connected before asking: a thumbnail already cached arrives within request().
    const QUrl clip(item_.url, QUrl::StrictMode);
    if (thumbnails && clip.isValid() && !clip.isRelative()) {
        connect(thumbnails, &ThumbnailCache::ready, this, [this, clip](const QUrl& done, const QImage& image) {
            if (done == clip)
                playerView_->setPoster(image);
        });
        thumbnails->request(clip);
    }
}

HistoryVideoPreview::~HistoryVideoPreview()
{
    // The view lets go of the player before the player goes.
    playerView_->setPlayer(nullptr);
}

QString HistoryVideoPreview::headerText() const
{
    return header_->text();
}

QString HistoryVideoPreview::recipeText() const
{
    return recipe_->text();
}

QString HistoryVideoPreview::promptText() const
{
    return prompt_->toPlainText();
}

void HistoryVideoPreview::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    const QUrl clip(item_.url, QUrl::StrictMode);
    if (player_ && clip.isValid() && !clip.isRelative())
        player_->setItem(clip);
    playerView_->refreshControls();
}

void HistoryVideoPreview::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (player_)
        player_->pause();
}

} // namespace quorvel::library
