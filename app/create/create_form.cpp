#include "app/create/create_form.h"

#include "app/client/generation_store.h"
#include "app/create/camera_motion_preview.h"
#include "app/create/recipe_vocabulary.h"
#include "platform/http_answer.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel::create {

namespace {

// A style image is a small picture; a larger answer is cut off and the tile keeps its name alone.
constexpr qint64 kStyleImageMaxBytes = 8 * 1024 * 1024;

QLabel* headline(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.1);
    label->setFont(font);
    return label;
}

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

// A square thumbnail with rounded corners, ringed in the accent colour when selected.
QIcon tileIcon(const QPixmap& image, const QColor& accent)
{
    const int side = CreateForm::tileSize;
    QIcon icon;
    for (const bool selected : { false, true }) {
        QPixmap canvas(side, side);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(0, 0, side, side), 6, 6);
        painter.setClipPath(rounded);
        painter.drawPixmap(QRect(0, 0, side, side), image);
        painter.setClipping(false);
        if (selected) {
            painter.setPen(QPen(accent, 3));
            painter.drawRoundedRect(QRectF(1.5, 1.5, side - 3, side - 3), 6, 6);
        }
        icon.addPixmap(canvas, QIcon::Normal, selected ? QIcon::On : QIcon::Off);
    }
    return icon;
}

// The style tiles in as many columns as the width holds; the cells share the width left over, so the
// grid follows the window instead of forcing its width on it.
class TileGrid final : public QWidget {
public:
    using QWidget::QWidget;

    void addTile(QWidget* tile)
    {
        tile->setParent(this);
        tiles_.append(tile);
        updateGeometry();
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        const int columns = CreateForm::styleGridColumns(width);
        const int rows = int((tiles_.size() + columns - 1) / columns);
        return rows * rowHeight() + std::max(0, rows - 1) * CreateForm::tileSpacing;
    }
    QSize sizeHint() const override
    {
        const int width = 6 * CreateForm::tileSize + 5 * CreateForm::tileSpacing;
        return { width, heightForWidth(width) };
    }
    QSize minimumSizeHint() const override { return { CreateForm::tileSize, rowHeight() }; }

protected:
    bool event(QEvent* event) override
    {
        // A tile whose thumbnail arrived grew taller.
        if (event->type() == QEvent::LayoutRequest) {
            updateGeometry();
            place();
        }
        return QWidget::event(event);
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        place();
    }

private:
    int rowHeight() const
    {
        int height = 0;
        for (const QWidget* tile : tiles_)
            height = std::max(height, tile->sizeHint().height());
        return height;
    }
    void place()
    {
        const int columns = CreateForm::styleGridColumns(width());
        const int spacing = CreateForm::tileSpacing;
        const int cell = std::max(CreateForm::tileSize, (width() - (columns - 1) * spacing) / columns);
        const int row = rowHeight();
        for (int i = 0; i < tiles_.size(); ++i)
            tiles_[i]->setGeometry((i % columns) * (cell + spacing), (i / columns) * (row + spacing), cell, row);
    }

    QList<QWidget*> tiles_;
};

} // namespace

int CreateForm::styleGridColumns(int width)
{
    return std::max(1, (width + tileSpacing) / (tileSize + tileSpacing));
}

CreateForm::CreateForm(CreateView* view, QNetworkAccessManager& network, const QString& cdnBaseUrl,
    const platform::Clock& clock, const platform::DesktopAppearance& desktop, QWidget* parent)
    : QScrollArea(parent)
    , view_(view)
{
    view_->setParent(this);
    setObjectName(QStringLiteral("createForm"));
    setAccessibleName(QStringLiteral("Create"));
    setWidgetResizable(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);

    auto* content = new QWidget(this);
    content->setMinimumSize(560, 480);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(12);
    column->addWidget(buildBanner());
    column->addWidget(buildHeader());
    column->addWidget(buildPrompt());
    error_ = new QLabel(content);
    error_->setObjectName(QStringLiteral("userError"));
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #d0302a;"));
    column->addWidget(error_);
    column->addWidget(headline(createTexts::lookHeading, content));
    column->addWidget(buildStyleGrid());
    column->addWidget(headline(createTexts::fineTune, content));
    column->addWidget(buildFineTune(clock, desktop));
    auto* divider = new QFrame(content);
    divider->setFrameShape(QFrame::HLine);
    column->addWidget(divider);
    column->addWidget(buildOutOfCredits());
    column->addWidget(buildBottomRow());
    column->addWidget(buildDebug());
    column->addStretch(1);
    setWidget(content);
    // The content never scrolls sideways: the form is as wide as its content and the scroll bar.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMinimumWidth(content->minimumWidth() + verticalScrollBar()->sizeHint().width());

    promptOpacity_ = new QGraphicsOpacityEffect(prompt_);
    prompt_->setGraphicsEffect(promptOpacity_);

    // Keyboard order follows the page from top to bottom.
    QWidget* order[] = { retry_, handle_, prompt_, surprise_ };
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    QWidget* previous = surprise_;
    for (const QString& key : vocabulary::styles()) {
        setTabOrder(previous, tiles_.value(key));
        previous = tiles_.value(key);
    }
    for (QWidget* next : std::initializer_list<QWidget*> {
             motion_, vibe_, lite_, standard_, outOfCreditsButton_, primary_, seePlans_, debugSwitch_ }) {
        setTabOrder(previous, next);
        previous = next;
    }

    auto* generateKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
    auto* generateEnter = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Enter), this);
    for (QShortcut* shortcut : { generateKey, generateEnter })
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (!view_->primaryButton().isCancel)
                view_->activatePrimary();
        });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (view_->primaryButton().isCancel)
            view_->cancel();
    });

    connect(view_, &CreateView::changed, this, &CreateForm::refresh);
    loadThumbnails(network, cdnBaseUrl);
    refresh();
}

QWidget* CreateForm::buildBanner()
{
    banner_ = new QFrame(this);
    banner_->setObjectName(QStringLiteral("enrollmentBanner"));
    auto* row = new QHBoxLayout(banner_);
    row->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel(banner_);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16, 16));
    bannerText_ = caption(QString(), banner_);
    retry_ = new QPushButton(createTexts::retry, banner_);
    retry_->setAccessibleName(createTexts::retry);
    connect(retry_, &QPushButton::clicked, this, [this] {
        QCoro::Task<> task = view_->retry();
        Q_UNUSED(task);
    });
    row->addWidget(icon);
    row->addWidget(bannerText_, 1);
    row->addWidget(retry_);
    return banner_;
}

QWidget* CreateForm::buildHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(headline(createTexts::title, header));
    row->addStretch(1);
    auto* label = new QLabel(createTexts::handleLabel, header);
    handle_ = new QLineEdit(header);
    handle_->setObjectName(QStringLiteral("handle"));
    handle_->setPlaceholderText(createTexts::handlePlaceholder);
    handle_->setFixedWidth(140);
    handle_->setAccessibleName(createTexts::handleLabel);
    label->setBuddy(handle_);
    // Any change counts, not only typing: a screen reader sets the text without key presses.
    connect(handle_, &QLineEdit::textChanged, view_, &CreateView::setHandle);
    row->addWidget(label);
    row->addWidget(handle_);
    return header;
}

QWidget* CreateForm::buildPrompt()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto* editorColumn = new QVBoxLayout;
    prompt_ = new QPlainTextEdit(box);
    prompt_->setObjectName(QStringLiteral("prompt"));
    prompt_->setAccessibleName(QStringLiteral("Prompt"));
    prompt_->setPlaceholderText(createTexts::promptPlaceholder);
    prompt_->setFixedHeight(96);
    prompt_->setTabChangesFocus(true);
    prompt_->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: rgba(128,128,128,26); border: none; border-radius: 8px; }"));
    connect(prompt_, &QPlainTextEdit::textChanged, this, [this] { view_->setPrompt(prompt_->toPlainText()); });
    counter_ = caption(QString(), box);
    counter_->setObjectName(QStringLiteral("promptCounter"));
    counter_->setAlignment(Qt::AlignRight);
    editorColumn->addWidget(prompt_);
    editorColumn->addWidget(counter_);
    row->addLayout(editorColumn, 1);

    surprise_ = new QPushButton(createTexts::surpriseMe, box);
    surprise_->setObjectName(QStringLiteral("surpriseMe"));
    surprise_->setFlat(true);
    surprise_->setToolTip(createTexts::surpriseMeTooltip);
    surprise_->setAccessibleName(createTexts::surpriseMe);
    surprise_->setAccessibleDescription(createTexts::surpriseMeTooltip);
    connect(surprise_, &QPushButton::clicked, view_, &CreateView::randomizeEverything);
    row->addWidget(surprise_, 0, Qt::AlignTop);
    return box;
}

QWidget* CreateForm::buildStyleGrid()
{
    auto* grid = new TileGrid(this);
    grid->setObjectName(QStringLiteral("styleGrid"));
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    grid->setSizePolicy(policy);
    auto* group = new QButtonGroup(grid);
    group->setExclusive(true);
    for (const QString& key : vocabulary::styles()) {
        auto* tile = new QToolButton(grid);
        tile->setObjectName(QStringLiteral("style-") + key);
        tile->setText(key);
        tile->setCheckable(true);
        tile->setAutoRaise(true);
        tile->setToolButtonStyle(Qt::ToolButtonTextOnly);
        tile->setMinimumWidth(tileSize);
        tile->setIconSize(QSize(tileSize, tileSize));
        tile->setAccessibleName(vocabulary::styleAccessibilityLabel(key));
        tile->setFocusPolicy(Qt::StrongFocus);
        QFont font = tile->font();
        font.setPointSizeF(font.pointSizeF() * 0.8);
        tile->setFont(font);
        group->addButton(tile);
        // Checked by a click, a key or a screen reader's toggle alike.
        connect(tile, &QToolButton::toggled, this, [this, key](bool on) {
            if (on)
                view_->setStyle(key);
        });
        tile->installEventFilter(this);
        tiles_.insert(key, tile);
        grid->addTile(tile);
    }
    return grid;
}

QWidget* CreateForm::buildFineTune(const platform::Clock& clock, const platform::DesktopAppearance& desktop)
{
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);

    auto* motionRow = new QWidget(box);
    auto* motionLayout = new QHBoxLayout(motionRow);
    motionLayout->setContentsMargins(0, 0, 0, 0);
    auto* motionLabel = new QLabel(createTexts::motionLabel, motionRow);
    motionLabel->setFixedWidth(44);
    motionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    motion_ = new QComboBox(motionRow);
    motion_->setObjectName(QStringLiteral("motion"));
    motion_->addItems(vocabulary::motionKeys());
    motion_->setAccessibleName(createTexts::motionLabel);
    motionLabel->setBuddy(motion_);
    connect(motion_, &QComboBox::textActivated, view_, &CreateView::setMotion);
    motionLayout->addWidget(motionLabel);
    motionLayout->addWidget(motion_);
    preview_ = new CameraMotionPreview(clock, desktop, motionRow);
    preview_->setObjectName(QStringLiteral("motionPreview"));
    motionLayout->addWidget(preview_);
    motionLayout->addStretch(1);
    column->addWidget(motionRow);

    auto* vibeRow = new QWidget(box);
    auto* vibeLayout = new QHBoxLayout(vibeRow);
    vibeLayout->setContentsMargins(0, 0, 0, 0);
    auto* vibeLabel = new QLabel(createTexts::vibeLabel, vibeRow);
    vibeLabel->setFixedWidth(44);
    vibeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    vibe_ = new QComboBox(vibeRow);
    vibe_->setObjectName(QStringLiteral("vibe"));
    vibe_->addItems(vocabulary::vibes());
    vibe_->setAccessibleName(createTexts::vibeLabel);
    vibeLabel->setBuddy(vibe_);
    connect(vibe_, &QComboBox::textActivated, view_, &CreateView::setVibe);
    vibeLayout->addWidget(vibeLabel);
    vibeLayout->addWidget(vibe_);
    vibeLayout->addStretch(1);
    column->addWidget(vibeRow);

    auto* tiers = new QWidget(box);
    auto* tierLayout = new QHBoxLayout(tiers);
    tierLayout->setContentsMargins(0, 0, 0, 0);
    auto* group = new QButtonGroup(tiers);
    for (const QualityTier& tier : vocabulary::tiers()) {
        auto* card
            = new QPushButton(tier.title + QLatin1Char('\n') + tier.costText + QLatin1Char('\n') + tier.blurb, tiers);
        card->setObjectName(tier.lite ? QStringLiteral("tierLite") : QStringLiteral("tierStandard"));
        card->setCheckable(true);
        card->setAccessibleName(tier.accessibilityLabel());
        card->setMinimumHeight(64);
        group->addButton(card);
        const bool lite = tier.lite;
        connect(card, &QPushButton::toggled, this, [this, lite](bool on) {
            if (on)
                view_->setLite(lite);
        });
        (tier.lite ? lite_ : standard_) = card;
        tierLayout->addWidget(card);
    }
    column->addWidget(tiers);
    column->addWidget(caption(vocabulary::tierHint(), box));
    return box;
}

QWidget* CreateForm::buildOutOfCredits()
{
    outOfCredits_ = new QFrame(this);
    outOfCredits_->setObjectName(QStringLiteral("outOfCredits"));
    outOfCredits_->setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(outOfCredits_);
    column->addWidget(headline(QStringLiteral("✦ ") + createTexts::outOfCreditsTitle, outOfCredits_));
    outOfCreditsBody_ = caption(QString(), outOfCredits_);
    column->addWidget(outOfCreditsBody_);
    outOfCreditsButton_ = new QPushButton(outOfCredits_);
    outOfCreditsButton_->setObjectName(QStringLiteral("outOfCreditsButton"));
    connect(outOfCreditsButton_, &QPushButton::clicked, view_, &CreateView::openUpgrade);
    column->addWidget(outOfCreditsButton_, 0, Qt::AlignLeft);
    return outOfCredits_;
}

QWidget* CreateForm::buildBottomRow()
{
    auto* rowWidget = new QWidget(this);
    auto* row = new QHBoxLayout(rowWidget);
    row->setContentsMargins(0, 0, 0, 0);
    primary_ = new QPushButton(rowWidget);
    primary_->setObjectName(QStringLiteral("primary"));
    primary_->setDefault(true);
    connect(primary_, &QPushButton::clicked, view_, &CreateView::activatePrimary);
    progress_ = new QProgressBar(rowWidget);
    progress_->setRange(0, 0);
    progress_->setFixedSize(40, 8);
    progress_->setTextVisible(false);
    creditLine_ = caption(QString(), rowWidget);
    creditLine_->setObjectName(QStringLiteral("creditLine"));
    seePlans_ = new QPushButton(QStringLiteral("✦ ") + createTexts::seePlans, rowWidget);
    seePlans_->setObjectName(QStringLiteral("seePlans"));
    seePlans_->setFlat(true);
    seePlans_->setAccessibleName(createTexts::seePlans);
    connect(seePlans_, &QPushButton::clicked, view_, &CreateView::openUpgrade);
    row->addWidget(primary_);
    row->addWidget(progress_);
    row->addWidget(creditLine_, 1);
    row->addWidget(seePlans_);
    row->addStretch(1);
    return rowWidget;
}

QWidget* CreateForm::buildDebug()
{
    debug_ = new QWidget(this);
    auto* column = new QVBoxLayout(debug_);
    column->setContentsMargins(0, 0, 0, 0);
    auto* divider = new QFrame(debug_);
    divider->setFrameShape(QFrame::HLine);
    column->addWidget(divider);
    debugSwitch_ = new QCheckBox(createTexts::debugSwitch, debug_);
    debugSwitch_->setObjectName(QStringLiteral("debugMode"));
    debugSwitch_->setAccessibleName(createTexts::debugSwitch);
    connect(debugSwitch_, &QCheckBox::toggled, view_, &CreateView::setDebugMode);
    debugText_ = caption(QString(), debug_);
    column->addWidget(debugSwitch_);
    column->addWidget(debugText_);
    return debug_;
}

void CreateForm::loadThumbnails(QNetworkAccessManager& network, const QString& cdnBaseUrl)
{
    const QColor accent = palette().color(QPalette::Highlight);
    for (const QString& key : vocabulary::styles()) {
        QNetworkRequest request(QUrl(vocabulary::styleThumbnailUrl(key, cdnBaseUrl)));
        request.setTransferTimeout(15000);
        QNetworkReply* reply = network.get(request);
        platform::limitReplyBody(*reply, kStyleImageMaxBytes);
        QPointer<CreateForm> self(this);
        connect(reply, &QNetworkReply::finished, reply, [self, reply, key, accent] {
            reply->deleteLater();
            if (!self || reply->error() != QNetworkReply::NoError)
                return;
            QPixmap image;
            if (!image.loadFromData(reply->readAll()) || image.isNull())
                return;
            QToolButton* tile = self->tiles_.value(key);
            tile->setIcon(tileIcon(image, accent));
            tile->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            self->thumbnails_.insert(key, true);
        });
        // A form closed before the answer abandons it.
        connect(this, &QObject::destroyed, reply, &QNetworkReply::abort);
    }
}

void CreateForm::refresh()
{
    const std::optional<QString> enrollment = view_->enrollmentError();
    banner_->setVisible(enrollment.has_value());
    bannerText_->setText(enrollment.value_or(QString()));
    retry_->setEnabled(view_->retryEnabled());

    if (!handle_->hasFocus() && handle_->text() != view_->handle())
        handle_->setText(view_->handle());

    if (prompt_->toPlainText() != view_->prompt()) {
        const QSignalBlocker block(prompt_);
        prompt_->setPlainText(view_->prompt());
    }
    prompt_->setEnabled(view_->promptEditable());
    promptOpacity_->setOpacity(view_->promptEditable() ? 1.0 : 0.55);
    counter_->setText(QStringLiteral("%1 / %2").arg(view_->promptLength()).arg(app::GenerationStore::longestPrompt));
    surprise_->setEnabled(view_->surpriseEnabled());

    error_->setVisible(view_->userError().has_value());
    error_->setText(QStringLiteral("⚠ ") + view_->userError().value_or(QString()));

    for (auto it = tiles_.cbegin(); it != tiles_.cend(); ++it) {
        const bool selected = it.key() == view_->style();
        it.value()->setChecked(selected);
        it.value()->setAccessibleDescription(selected ? QStringLiteral("selected") : QString());
    }
    motion_->setCurrentText(view_->motion());
    preview_->setMotion(view_->motion());
    vibe_->setCurrentText(view_->vibe());
    lite_->setChecked(view_->lite());
    standard_->setChecked(!view_->lite());

    outOfCredits_->setVisible(view_->showsOutOfCredits());
    outOfCreditsBody_->setText(view_->outOfCreditsBody());
    outOfCreditsButton_->setText(view_->outOfCreditsButton());
    outOfCreditsButton_->setAccessibleName(view_->outOfCreditsButton());

    const CreateView::PrimaryButton button = view_->primaryButton();
    primary_->setText(button.label);
    primary_->setAccessibleName(button.label);
    primary_->setEnabled(button.enabled);
    const CreateView::CreditLine kind = view_->creditLineKind();
    progress_->setVisible(kind == CreateView::CreditLine::checking);
    creditLine_->setVisible(kind != CreateView::CreditLine::seePlans);
    creditLine_->setText(view_->creditLine());
    creditLine_->setStyleSheet(kind == CreateView::CreditLine::debug ? QStringLiteral("color: orange;") : QString());
    seePlans_->setVisible(kind == CreateView::CreditLine::seePlans);

    debug_->setVisible(view_->debugAllowed());
    {
        const QSignalBlocker block(debugSwitch_);
        debugSwitch_->setChecked(view_->debugMode());
    }
    debugText_->setText(view_->debugDescription());

    if (view_->promptRejected() && !alert_)
        showRejection();
}

void CreateForm::showRejection()
{
    alert_ = new QMessageBox(
        QMessageBox::Warning, createTexts::rejectedTitle, createTexts::rejectedMessage, QMessageBox::NoButton, this);
    alert_->addButton(createTexts::ok, QMessageBox::AcceptRole);
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert_, &QMessageBox::finished, view_, &CreateView::dismissRejection);
    alert_->open();
}

// Tabbing into the grid lands on the selected style, as in any group of choices; the arrow keys
// move the selection from there.
bool CreateForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        QToolButton* selected = tiles_.value(view_->style());
        if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) && selected && watched != selected) {
            QMetaObject::invokeMethod(
                selected, [selected] { selected->setFocus(Qt::OtherFocusReason); }, Qt::QueuedConnection);
        }
    }
    return QScrollArea::eventFilter(watched, event);
}

void CreateForm::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    if (appeared_)
        return;
    appeared_ = true;
    QCoro::Task<> task = view_->appear();
    Q_UNUSED(task);
}

} // namespace quorvel::create
