#include "app/library/generation_preview_view.h"

#include "app/library/generation_recipe_view.h"
#include "app/library/player_view.h"
#include "app/library/thumbnail_cache.h"
#include "app/library/upgrade_symbols.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quorvel::library {
namespace {

constexpr int lineSymbolSize = 16;
const QColor green(0x2e, 0xa0, 0x43);
const QColor red(0xd7, 0x3a, 0x31);

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

void makeSecondary(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
}

// A symbol before a line of text, both in `color`; returns the row and sets `text`.
QWidget* symbolRow(const QString& symbol, const QColor& color, QLabel*& text, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(symbolLabel(symbol, lineSymbolSize, color, row), 0, Qt::AlignTop);
    text = plainLabel(QString(), row);
    QPalette palette = text->palette();
    palette.setColor(QPalette::WindowText, color);
    text->setPalette(palette);
    layout->addWidget(text, 1);
    return row;
}

} // namespace

GenerationPreviewView::GenerationPreviewView(GenerationPreviewModel* model, ThumbnailCache* posters, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , posters_(posters)
{
    model_->setParent(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QStackedWidget(this);
    empty_ = buildEmpty();
    clip_ = buildClip();
    pages_->addWidget(empty_);
    pages_->addWidget(clip_);
    layout->addWidget(pages_);
    connect(model_, &GenerationPreviewModel::changed, this, &GenerationPreviewView::refresh);
    if (posters_)
        connect(posters_, &ThumbnailCache::ready, this, [this](const QUrl& clip, const QImage& image) {
            if (posterClip_ == clip)
                player_->setPoster(image);
        });
    refresh();
}

bool GenerationPreviewView::showsClip() const
{
    return pages_->currentWidget() == clip_;
}

QWidget* GenerationPreviewView::buildEmpty()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    const QColor secondary = palette().color(QPalette::PlaceholderText);
    layout->addWidget(symbolLabel(QStringLiteral("film"), 40, secondary, page), 0, Qt::AlignHCenter);
    auto* text = plainLabel(previewTexts::empty, page);
    text->setObjectName(QStringLiteral("emptyLabel"));
    text->setAlignment(Qt::AlignHCenter);
    QFont font = text->font();
    font.setPointSizeF(font.pointSizeF() * 1.2);
    text->setFont(font);
    makeSecondary(text);
    layout->addWidget(text);
    layout->addStretch();
    return page;
}

QWidget* GenerationPreviewView::buildClip()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);

    auto* header = plainLabel(previewTexts::header, page);
    header->setObjectName(QStringLiteral("header"));
    QFont headerFont = header->font();
    headerFont.setPointSizeF(headerFont.pointSizeF() * 1.5);
    headerFont.setBold(true);
    header->setFont(headerFont);
    layout->addWidget(header);
    auto* caption = plainLabel(previewTexts::saved, page);
    makeSecondary(caption);
    layout->addWidget(caption);

    player_ = new PlayerView(platform::MediaPlayerFactory(), page);
    player_->setPlayer(&model_->player());
    player_->setMinimumHeight(240);
    layout->addWidget(player_, 1);

    auto* group = new QGroupBox(previewTexts::recipe, page);
    auto* groupLayout = new QVBoxLayout(group);
    recipe_ = new GenerationRecipeView(group);
    groupLayout->addWidget(recipe_);
    layout->addWidget(group);

    layout->addWidget(buildTitleArea(page));
    return page;
}

QWidget* GenerationPreviewView::buildTitleArea(QWidget* parent)
{
    auto* area = new QWidget(parent);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* hint = plainLabel(previewTexts::titleHint, area);
    makeSecondary(hint);
    layout->addWidget(hint);

    auto* row = new QHBoxLayout;
    title_ = new QLineEdit(area);
    title_->setPlaceholderText(previewTexts::titlePlaceholder);
    // Qt does not expose a placeholder to screen readers; the field is named after it.
    title_->setAccessibleName(previewTexts::titlePlaceholder);
    title_->setClearButtonEnabled(true);
    connect(title_, &QLineEdit::textEdited, model_, &GenerationPreviewModel::setTitle);
    row->addWidget(title_, 1);
    save_ = new QPushButton(previewTexts::saveTitle, area);
    connect(save_, &QPushButton::clicked, this, [this] {
        QCoro::Task<> task = model_->saveTitle();
        Q_UNUSED(task);
    });
    row->addWidget(save_);
    publish_ = new QPushButton(previewTexts::addToCommunity, area);
    publish_->setDefault(true);
    connect(publish_, &QPushButton::clicked, this, [this] {
        QCoro::Task<> task = model_->publish();
        Q_UNUSED(task);
    });
    row->addWidget(publish_);
    layout->addLayout(row);

    status_ = symbolRow(QStringLiteral("checkmark.circle.fill"), green, statusText_, area);
    statusText_->setObjectName(QStringLiteral("status"));
    layout->addWidget(status_);
    error_ = symbolRow(QStringLiteral("exclamationmark.triangle.fill"), red, errorText_, area);
    errorText_->setObjectName(QStringLiteral("error"));
    layout->addWidget(error_);
    return area;
}

void GenerationPreviewView::refresh()
{
    pages_->setCurrentWidget(model_->hasClip() ? clip_ : empty_);
    recipe_->setSubmission(model_->submission());
    if (title_->text() != model_->title())
        title_->setText(model_->title());
    publish_->setVisible(model_->showsPublishButton());

    const std::optional<SymbolLine> status = model_->statusLine();
    status_->setVisible(status.has_value());
    statusText_->setText(status ? status->text : QString());
    const std::optional<SymbolLine> error = model_->errorLine();
    error_->setVisible(error.has_value());
    errorText_->setText(error ? error->text : QString());
    refreshPoster();
}

void GenerationPreviewView::refreshPoster()
{
    // The player shows no picture before it plays, so the clip's first frame stands in for it. It
    // is decoded only for a window on screen, once: the library later reads the stored picture.
    if (!model_->isShown())
        return;
    const std::optional<QUrl> clip = model_->clipAddress();
    if (clip == posterClip_)
        return;
    posterClip_ = clip;
    player_->setPoster(QImage());
    if (clip && posters_)
        posters_->request(*clip);
}

void GenerationPreviewView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window restored from the dock was never gone: its clip keeps its place.
    if (!event->spontaneous())
        model_->appear();
    refreshPoster();
}

void GenerationPreviewView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        model_->disappear();
}

} // namespace quorvel::library
