#include "app/library/library_widget.h"

#include "app/library/elided_label.h"
#include "app/library/history_video_preview.h"
#include "app/library/player_view.h"
#include "app/library/thumbnail_cache.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMultiHash>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel::library {

namespace {

constexpr int kColumns = 2;

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QLabel* iconLabel(QStyle::StandardPixmap icon, QWidget* parent, int size = 16)
{
    auto* label = new QLabel(parent);
    label->setPixmap(parent->style()->standardIcon(icon).pixmap(size, size));
    return label;
}

// An icon beside a line of text, as one row.
QWidget* iconRow(QStyle::StandardPixmap icon, const QString& text, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(iconLabel(icon, row));
    layout->addWidget(plainLabel(text, row), 1);
    return row;
}

} // namespace

LibraryTile::LibraryTile(
    LibraryView& view, const LibraryItem& item, const platform::MediaPlayerFactory& players, QWidget* parent)
    : QWidget(parent)
    , view_(view)
    , item_(item)
{
    setObjectName(QStringLiteral("libraryTile"));
    player_ = new PlayerView(players, this);
    // A long library holds players only for the clips the user started.
    player_->setLoadOnDemand(true);
    player_->setUrl(QUrl(item.url, QUrl::StrictMode));
    player_->setFixedHeight(200);

    auto* open = new QPushButton(
        style()->standardIcon(QStyle::SP_TitleBarMaxButton), QStringLiteral("Open Large Preview"), this);
    connect(open, &QPushButton::clicked, this, [this] { emit previewRequested(item_.url); });

    style_ = new ElidedLabel(this);
    quality_ = new ElidedLabel(this);
    sound_ = new ElidedLabel(this);

    title_ = new QLineEdit(this);
    title_->setPlaceholderText(QStringLiteral("Optional title"));
    title_->setAccessibleName(QStringLiteral("Title"));
    // The title goes out exactly as typed: no trimming, empty included.
    connect(title_, &QLineEdit::textEdited, this, [this](const QString& text) { view_.setTitle(item_.url, text); });
    connect(title_, &QLineEdit::returnPressed, this, [this] { QCoro::Task<> task = view_.saveTitle(item_.url); });
    auto* hint = plainLabel(QStringLiteral("Update or clear this title at any time"), this);
    hint->setForegroundRole(QPalette::PlaceholderText);

    auto* save = new QPushButton(QStringLiteral("Save Title"), this);
    connect(save, &QPushButton::clicked, this, [this] { QCoro::Task<> task = view_.saveTitle(item_.url); });
    publish_ = new QPushButton(QStringLiteral("Add to Community"), this);
    connect(publish_, &QPushButton::clicked, this, [this] { QCoro::Task<> task = view_.publish(item_.url); });
    published_ = plainLabel(QStringLiteral("Published"), this);
    saved_ = iconRow(QStyle::SP_DialogApplyButton, QStringLiteral("Title saved"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save);
    buttons->addWidget(publish_);
    buttons->addWidget(published_);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(player_);
    layout->addWidget(open, 0, Qt::AlignLeft);
    layout->addWidget(style_);
    layout->addWidget(quality_);
    layout->addWidget(sound_);
    layout->addWidget(title_);
    layout->addWidget(hint);
    layout->addLayout(buttons);
    layout->addWidget(saved_);
    // A tile taller than its content (a tall window, a taller neighbour in its row) keeps its
    // controls together and leaves the room below them.
    layout->addStretch(1);
    present(item, false);
}

void LibraryTile::present(const LibraryItem& item, bool titleSaved)
{
    item_ = item;
    setAccessibleName(item.title.isEmpty() ? item.prompt : item.title); // which clip a screen reader is in
    style_->setText(QStringLiteral("Style: ") + item.style);
    quality_->setText(QStringLiteral("Quality: ") + item.tier);
    sound_->setText(QStringLiteral("Sound: ") + recipe::soundLabel(item.soundscape));
    // Only when it differs: resetting the text under the cursor would move the cursor.
    if (title_->text() != item.title)
        title_->setText(item.title);
    publish_->setVisible(!item.approved);
    published_->setVisible(item.approved);
    saved_->setVisible(titleSaved);
}

bool LibraryTile::hasPoster() const
{
    return !player_->poster().isNull();
}

void LibraryTile::setPoster(const QImage& poster)
{
    player_->setPoster(poster);
}

LibraryWidget::LibraryWidget(LibraryView* view, LibraryWidgetServices services, QWidget* parent)
    : QWidget(parent)
    , view_(view)
    , services_(std::move(services))
{
    view_->setParent(this);

    auto* heading = plainLabel(QStringLiteral("Your wumbles"), this);
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    headingFont.setWeight(QFont::DemiBold);
    heading->setFont(headingFont);
    auto* refresh = new QToolButton(this);
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    refresh->setAccessibleName(QStringLiteral("Refresh"));
    refresh->setToolTip(QStringLiteral("Refresh"));
    connect(refresh, &QToolButton::clicked, this, [this] { QCoro::Task<> task = view_->loadHistory(); });
    auto* header = new QHBoxLayout;
    header->addWidget(heading);
    header->addStretch(1);
    header->addWidget(refresh);

    warningRow_ = new QWidget(this);
    auto* warningLayout = new QHBoxLayout(warningRow_);
    warningLayout->setContentsMargins(0, 0, 0, 0);
    warningIcon_ = iconLabel(QStyle::SP_MessageBoxWarning, warningRow_);
    warning_ = plainLabel(QString(), warningRow_);
    warning_->setWordWrap(true);
    warningLayout->addWidget(warningIcon_);
    warningLayout->addWidget(warning_, 1);

    empty_ = new QWidget(this);
    auto* emptyLayout = new QVBoxLayout(empty_);
    auto* emptyTitle = new QWidget(empty_);
    auto* emptyTitleLayout = new QHBoxLayout(emptyTitle);
    emptyTitleLayout->setContentsMargins(0, 0, 0, 0);
    emptyTitleLayout->addStretch(1);
    emptyTitleLayout->addWidget(iconLabel(QStyle::SP_MediaPlay, emptyTitle, 24));
    emptyTitleLayout->addWidget(plainLabel(QStringLiteral("No wumbles yet"), emptyTitle));
    emptyTitleLayout->addStretch(1);
    auto* emptyLine = plainLabel(QStringLiteral("Generate one from the Create screen."), empty_);
    emptyLine->setAlignment(Qt::AlignCenter);
    auto* create = new QPushButton(QStringLiteral("Create a wumble"), empty_);
    create->setDefault(true);
    connect(create, &QPushButton::clicked, this, [this] {
        if (services_.openCreate)
            services_.openCreate();
    });
    emptyLayout->addStretch(1);
    emptyLayout->addWidget(emptyTitle);
    emptyLayout->addWidget(emptyLine);
    emptyLayout->addWidget(create, 0, Qt::AlignHCenter);
    emptyLayout->addStretch(1);

    grid_ = new QWidget;
    gridLayout_ = new QGridLayout;
    // Rows keep to their content in a tall window; the room left over goes below the last one.
    auto* gridColumn = new QVBoxLayout(grid_);
    gridColumn->addLayout(gridLayout_);
    gridColumn->addStretch(1);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidget(grid_);
    connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this, &LibraryWidget::scheduleThumbnails);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(warningRow_);
    layout->addWidget(empty_, 1);
    layout->addWidget(scroll_, 1);

    connect(view_, &LibraryView::itemsChanged, this, [this](const QString& url) {
        if (url.isEmpty())
            rebuildTiles();
        else
            refreshTile(url);
    });
    connect(view_, &LibraryView::stateChanged, this, &LibraryWidget::refreshState);
    connect(view_, &LibraryView::previewItemChanged, this, &LibraryWidget::presentPreview);
    if (services_.thumbnails) {
        services_.thumbnails->retryFailures();
        connect(services_.thumbnails, &ThumbnailCache::ready, this, [this](const QUrl& clip, const QImage& image) {
            for (LibraryTile* tile : std::as_const(tiles_))
                if (QUrl(tile->url(), QUrl::StrictMode) == clip)
                    tile->setPoster(image);
        });
    }
    rebuildTiles();
    refreshState();
}

void LibraryWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!appeared_) {
        appeared_ = true;
        QCoro::Task<> task = view_->loadHistory();
    }
    scheduleThumbnails();
}

void LibraryWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    scheduleThumbnails();
}

void LibraryWidget::rebuildTiles()
{
    // Tiles of clips still listed are kept, so a refresh does not stop a clip being watched.
    QMultiHash<QString, LibraryTile*> old;
    for (LibraryTile* tile : std::as_const(tiles_))
        old.insert(tile->url(), tile);
    QList<LibraryTile*> tiles;
    for (const LibraryItem& item : view_->items()) {
        LibraryTile* tile = old.take(item.url);
        if (!tile) {
            tile = new LibraryTile(*view_, item, services_.players, grid_);
            connect(tile, &LibraryTile::previewRequested, this,
                [this](const QString& url) { view_->setPreviewItem(view_->item(url)); });
        }
        tiles.append(tile);
    }
    for (LibraryTile* gone : std::as_const(old))
        delete gone;
    tiles_ = tiles;
    for (int i = 0; i < tiles_.size(); ++i)
        gridLayout_->addWidget(tiles_[i], i / kColumns, i % kColumns);
    refreshState();
    scheduleThumbnails();
}

void LibraryWidget::refreshTile(const QString& url)
{
    const std::optional<LibraryItem> item = view_->item(url);
    if (!item)
        return;
    for (LibraryTile* tile : std::as_const(tiles_))
        if (tile->url() == url)
            tile->present(*item, view_->savedUrl() == url);
}

void LibraryWidget::refreshState()
{
    const std::optional<QString> error = view_->error();
    warningRow_->setVisible(error.has_value());
    warning_->setText(error.value_or(QString()));
    empty_->setVisible(view_->showsEmptyState());
    scroll_->setVisible(!view_->items().isEmpty());
    const QList<LibraryItem>& items = view_->items();
    for (int i = 0; i < tiles_.size() && i < items.size(); ++i)
        tiles_[i]->present(items[i], view_->savedUrl() == items[i].url);
}

void LibraryWidget::presentPreview()
{
    const std::optional<LibraryItem> item = view_->previewItem();
    if (!item) {
        if (preview_)
            preview_->close();
        return;
    }
    if (preview_)
        return;
    // The large clip gets the user's attention (and the speakers) alone.
    for (LibraryTile* tile : std::as_const(tiles_))
        if (platform::MediaPlayer* player = tile->playerView()->player())
            player->pause();
    preview_ = new HistoryVideoPreview(*item, services_.players, services_.thumbnails, this);
    preview_->setAttribute(Qt::WA_DeleteOnClose);
    connect(preview_, &QDialog::finished, this, [this] { view_->setPreviewItem(std::nullopt); });
    preview_->open();
}

void LibraryWidget::scheduleThumbnails()
{
    if (!services_.thumbnails || thumbnailsPending_)
        return;
    // After the layout has placed the tiles.
    thumbnailsPending_ = true;
    QTimer::singleShot(0, this, [this] {
        thumbnailsPending_ = false;
        requestVisibleThumbnails();
    });
}

void LibraryWidget::requestVisibleThumbnails()
{
    if (!services_.thumbnails || !isVisible())
        return;
    const QRect seen(-grid_->pos(), scroll_->viewport()->size());
    for (LibraryTile* tile : std::as_const(tiles_))
        if (!tile->hasPoster() && tile->geometry().intersects(seen))
            services_.thumbnails->request(QUrl(tile->url(), QUrl::StrictMode));
}

} // namespace quorvel::library
