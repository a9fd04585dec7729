#include "app/shell/content_widget.h"

#include "app/shell/app_icon.h"
#include "app/shell/content_view.h"
#include "platform/http_answer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel::app {

namespace {

constexpr int kLogoTimeoutMs = 15000;
// The logo is a small PNG; a larger answer is cut off and the window keeps its own icon.
constexpr qint64 kLogoMaxBytes = 8 * 1024 * 1024;
const QColor kErrorRed(215, 48, 39);

QLabel* label(const QString& text, QWidget* parent, qreal scale = 1.0, bool bold = false)
{
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    QFont font = l->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    l->setFont(font);
    return l;
}

QLabel* caption(const QString& text, QWidget* parent)
{
    QLabel* l = label(text, parent, 0.85);
    l->setForegroundRole(QPalette::PlaceholderText);
    return l;
}

void makeRed(QLabel* l)
{
    QPalette red = l->palette();
    red.setColor(QPalette::WindowText, kErrorRed);
    l->setPalette(red);
    l->setForegroundRole(QPalette::WindowText);
}

QIcon symbol(const char* themeName, QStyle::StandardPixmap fallback, const QWidget* widget)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), widget->style()->standardIcon(fallback));
}

QLabel* symbolLabel(const QIcon& icon, int size, const QString& name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setPixmap(icon.pixmap(size, size));
    l->setAccessibleName(name);
    return l;
}

// A label named for its role also carries its changing text as its description, so a screen
// reader hears "Screensaver active", not only "Screensaver status".
void showText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setAccessibleDescription(text);
}

QPushButton* button(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(text);
    return b;
}

// The one action a screen leads to, in the accent colour.
void makeProminent(QPushButton* b)
{
    QPalette accent = b->palette();
    accent.setColor(QPalette::Button, accent.color(QPalette::Highlight));
    accent.setColor(QPalette::ButtonText, accent.color(QPalette::HighlightedText));
    b->setPalette(accent);
    b->setDefault(true);
}

// A glyph of the desktop's font in place of an icon the theme may not have.
QLabel* glyph(const QString& text, const QString& name, qreal scale, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    QFont font = l->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    l->setFont(font);
    l->setAccessibleName(name);
    return l;
}

QPixmap dotPixmap(ContentView::Dot dot)
{
    const QColor colour = dot == ContentView::Dot::green ? QColor(52, 199, 89)
        : dot == ContentView::Dot::orange                ? QColor(255, 149, 0)
                                                         : QColor(142, 142, 147);
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(0.5, 0.5, 9, 9));
    return pixmap;
}

QString dotName(ContentView::Dot dot)
{
    switch (dot) {
    case ContentView::Dot::green:
        return QStringLiteral("green");
    case ContentView::Dot::orange:
        return QStringLiteral("orange");
    case ContentView::Dot::grey:
        break;
    }
    return QStringLiteral("grey");
}

QFrame* card(QWidget* parent, const QString& name)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setAccessibleName(name);
    return frame;
}

} // namespace

ContentWidget::ContentWidget(ContentView* view, QNetworkAccessManager& network, QWidget* parent)
    : QWidget(parent)
    , view_(view)
{
    view_->setParent(this);
    setFixedWidth(contentWidth);
    setAccessibleName(QStringLiteral("Quorvel"));
    pages_ = new QStackedWidget(this);
    // The move card is the main window's own; this page stays empty while it shows.
    auto* empty = new QWidget(pages_);
    empty->setObjectName(QStringLiteral("moveCard"));
    pages_->addWidget(empty);
    pages_->addWidget(buildOnboarding());
    pages_->addWidget(buildMain());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages_);

    showLogo(QPixmap::fromImage(drawAppIcon(192)));
    loadLogo(network);
    connect(view_, &ContentView::changed, this, &ContentWidget::refresh);
    refresh();
}

QString ContentWidget::pageName() const
{
    return pages_->currentWidget()->objectName();
}

void ContentWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous() && view_->screen() == ContentView::Screen::main)
        view_->mainScreenAppeared();
}

bool ContentWidget::event(QEvent* event)
{
    // The window forwards its activation to its visible children, this content among them.
    if (event->type() == QEvent::WindowActivate)
        view_->windowActivated();
    return QWidget::event(event);
}

QWidget* ContentWidget::buildOnboarding()
{
    auto* page = new QWidget(pages_);
    page->setObjectName(QStringLiteral("onboarding"));
    auto* logo = new QLabel(page);
    logo->setFixedSize(96, 96);
    logo->setScaledContents(true);
    logo->setAccessibleName(QStringLiteral("Quorvel logo"));
    logos_ << logo;
    QLabel* title = label(contentTexts::welcomeTitle, page, 1.5, true);
    title->setAlignment(Qt::AlignCenter);
    QLabel* text = label(contentTexts::welcomeText, page);
    text->setAlignment(Qt::AlignCenter);
    text->setForegroundRole(QPalette::PlaceholderText);

    notYet_ = new QWidget(page);
    onboardingEnable_ = button(contentTexts::enableAsScreensaver, notYet_);
    makeProminent(onboardingEnable_);
    onboardingEnable_->setMinimumHeight(34);
    onboardingCaption_ = caption(QString(), notYet_);
    onboardingCaption_->setAlignment(Qt::AlignCenter);
    auto* notYetLayout = new QVBoxLayout(notYet_);
    notYetLayout->setContentsMargins(0, 0, 0, 0);
    notYetLayout->addWidget(onboardingEnable_, 0, Qt::AlignHCenter);
    notYetLayout->addWidget(onboardingCaption_);

    allSet_ = new QWidget(page);
    auto* check = symbolLabel(
        symbol("emblem-ok-symbolic", QStyle::SP_DialogApplyButton, this), 22, QStringLiteral("Done"), allSet_);
    QLabel* allSetText = label(contentTexts::allSet, allSet_);
    allSetText->setWordWrap(false);
    QPushButton* first = button(contentTexts::makeFirstWumble, allSet_);
    makeProminent(first);
    first->setMinimumHeight(34);
    auto* allSetRow = new QHBoxLayout;
    allSetRow->addStretch();
    allSetRow->addWidget(check);
    allSetRow->addWidget(allSetText);
    allSetRow->addStretch();
    onboardingStartLine_ = caption(QString(), allSet_);
    onboardingStartLine_->setAlignment(Qt::AlignCenter);
    onboardingStartLine_->setAccessibleName(QStringLiteral("How the screensaver starts"));
    auto* allSetLayout = new QVBoxLayout(allSet_);
    allSetLayout->setContentsMargins(0, 0, 0, 0);
    allSetLayout->addLayout(allSetRow);
    allSetLayout->addWidget(onboardingStartLine_);
    allSetLayout->addWidget(first, 0, Qt::AlignHCenter);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(14);
    layout->addStretch();
    layout->addWidget(logo, 0, Qt::AlignHCenter);
    layout->addWidget(title);
    layout->addWidget(text);
    layout->addSpacing(8);
    layout->addWidget(notYet_);
    layout->addWidget(allSet_);
    layout->addStretch();

    connect(onboardingEnable_, &QPushButton::clicked, view_, [this] {
        QCoro::Task<> task = view_->enable();
        Q_UNUSED(task);
    });
    connect(first, &QPushButton::clicked, view_, &ContentView::finishOnboarding);
    return page;
}

QWidget* ContentWidget::buildMain()
{
    auto* page = new QWidget(pages_);
    page->setObjectName(QStringLiteral("main"));
    auto* layout = new QVBoxLayout(page);
    // The window gives the side margins.
    layout->setContentsMargins(0, 8, 0, 8);
    layout->setSpacing(14);
    layout->addWidget(buildHeader(page));
    layout->addWidget(buildBanner(page));
    layout->addWidget(buildActions(page));
    layout->addWidget(buildLatest(page));
    layout->addWidget(buildPlans(page));
    layout->addWidget(buildStatus(page));
    layout->addWidget(buildDaemon(page));
    layout->addStretch();
    return page;
}

QWidget* ContentWidget::buildHeader(QWidget* parent)
{
    auto* header = new QWidget(parent);
    auto* logo = new QLabel(header);
    logo->setFixedSize(56, 56);
    logo->setScaledContents(true);
    logo->setAccessibleName(QStringLiteral("Quorvel logo"));
    logos_ << logo;
    QLabel* name = label(contentTexts::productName, header, 1.6, true);
    QLabel* tagline = label(contentTexts::tagline, header);
    tagline->setForegroundRole(QPalette::PlaceholderText);
    auto* words = new QVBoxLayout;
    words->setSpacing(2);
    words->addWidget(name);
    words->addWidget(tagline);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(logo);
    layout->addLayout(words, 1);
    return header;
}

QWidget* ContentWidget::buildBanner(QWidget* parent)
{
    banner_ = card(parent, contentTexts::reconnectTitle);
    auto* warning = symbolLabel(
        symbol("dialog-warning", QStyle::SP_MessageBoxWarning, this), 20, QStringLiteral("Warning"), banner_);
    QLabel* title = label(contentTexts::reconnectTitle, banner_, 1.0, true);
    bannerText_ = caption(QString(), banner_);
    retry_ = button(contentTexts::retry, banner_);
    auto* words = new QVBoxLayout;
    words->addWidget(title);
    words->addWidget(bannerText_);
    auto* layout = new QHBoxLayout(banner_);
    layout->addWidget(warning, 0, Qt::AlignTop);
    layout->addLayout(words, 1);
    layout->addWidget(retry_);
    connect(retry_, &QPushButton::clicked, view_, &ContentView::retry);
    return banner_;
}

QWidget* ContentWidget::buildActions(QWidget* parent)
{
    auto* row = new QWidget(parent);
    create_ = button(contentTexts::createWumble, row);
    create_->setIcon(symbol("tools-wizard", QStyle::SP_FileDialogNewFolder, this));
    makeProminent(create_);
    QPushButton* library = button(contentTexts::yourWumbles, row);
    library->setIcon(symbol("folder-videos", QStyle::SP_FileDialogDetailedView, this));
    library->setToolTip(contentTexts::yourWumbles);
    QPushButton* start = button(contentTexts::startScreenSaver, row);
    start->setIcon(symbol("media-playback-start", QStyle::SP_MediaPlay, this));
    start->setToolTip(contentTexts::startScreenSaver);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* b : { create_, library, start }) {
        b->setMinimumHeight(36);
        layout->addWidget(b);
    }
    connect(create_, &QPushButton::clicked, view_, &ContentView::openCreate);
    connect(library, &QPushButton::clicked, view_, &ContentView::openLibrary);
    connect(start, &QPushButton::clicked, view_, &ContentView::startScreenSaver);
    return row;
}

QWidget* ContentWidget::buildLatest(QWidget* parent)
{
    latest_ = card(parent, contentTexts::latestHeading);
    latestHeading_ = label(QString(), latest_, 1.05, true);

    progressRow_ = new QWidget(latest_);
    auto* progress = new QProgressBar(progressRow_);
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setMaximumHeight(8);
    progress->setAccessibleName(contentTexts::generationProgress);
    stage_ = caption(QString(), progressRow_);
    stage_->setAccessibleName(QStringLiteral("Stage"));
    auto* progressLayout = new QVBoxLayout(progressRow_);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->addWidget(label(contentTexts::generationProgress, progressRow_));
    progressLayout->addWidget(progress);
    progressLayout->addWidget(stage_);

    readyRow_ = new QWidget(latest_);
    auto* check = symbolLabel(
        symbol("emblem-ok-symbolic", QStyle::SP_DialogApplyButton, this), 18, QStringLiteral("Done"), readyRow_);
    QPushButton* preview = button(contentTexts::preview, readyRow_);
    auto* readyLayout = new QHBoxLayout(readyRow_);
    readyLayout->setContentsMargins(0, 0, 0, 0);
    readyLayout->addWidget(check);
    readyLayout->addWidget(label(contentTexts::wumbleReady, readyRow_), 1);
    readyLayout->addWidget(preview);
    connect(preview, &QPushButton::clicked, view_, &ContentView::openPreview);

    errorRow_ = new QWidget(latest_);
    auto* warning = symbolLabel(
        symbol("dialog-warning", QStyle::SP_MessageBoxWarning, this), 18, QStringLiteral("Warning"), errorRow_);
    errorText_ = label(QString(), errorRow_);
    errorText_->setAccessibleName(QStringLiteral("Generation error"));
    auto* errorLayout = new QHBoxLayout(errorRow_);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    errorLayout->addWidget(warning, 0, Qt::AlignTop);
    errorLayout->addWidget(errorText_, 1);

    debugToggle_ = new QToolButton(latest_);
    debugToggle_->setText(contentTexts::debugConsole);
    debugToggle_->setAccessibleName(contentTexts::debugConsole);
    debugToggle_->setCheckable(true);
    debugToggle_->setAutoRaise(true);
    debugToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    debugLog_ = new QPlainTextEdit(latest_);
    debugLog_->setReadOnly(true);
    debugLog_->setAccessibleName(QStringLiteral("Generation log"));
    debugLog_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    debugLog_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    debugLog_->setFixedHeight(120);
    connect(debugToggle_, &QToolButton::toggled, view_, &ContentView::setDebugLogExpanded);

    auto* layout = new QVBoxLayout(latest_);
    layout->addWidget(latestHeading_);
    layout->addWidget(progressRow_);
    layout->addWidget(readyRow_);
    layout->addWidget(errorRow_);
    layout->addWidget(debugToggle_, 0, Qt::AlignLeft);
    layout->addWidget(debugLog_);
    return latest_;
}

QWidget* ContentWidget::buildPlans(QWidget* parent)
{
    plans_ = new QPushButton(parent);
    plans_->setAccessibleName(contentTexts::plansTitle);
    plans_->setMinimumHeight(58);
    QLabel* sparkles = glyph(QStringLiteral("✦"), QStringLiteral("Sparkles"), 1.6, plans_);
    QPalette accent = sparkles->palette();
    accent.setColor(QPalette::WindowText, accent.color(QPalette::Highlight));
    sparkles->setPalette(accent);
    QLabel* title = label(contentTexts::plansTitle, plans_, 1.0, true);
    plansSubtitle_ = caption(QString(), plans_);
    QLabel* chevron = glyph(QStringLiteral("›"), QStringLiteral("More"), 1.6, plans_);
    for (QLabel* l : { sparkles, title, plansSubtitle_, chevron })
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* words = new QVBoxLayout;
    words->setSpacing(2);
    words->addWidget(title);
    words->addWidget(plansSubtitle_);
    auto* layout = new QHBoxLayout(plans_);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->addWidget(sparkles);
    layout->addLayout(words, 1);
    layout->addWidget(chevron);
    connect(plans_, &QPushButton::clicked, view_, &ContentView::openUpgrade);
    return plans_;
}

QWidget* ContentWidget::buildStatus(QWidget* parent)
{
    auto* box = new QWidget(parent);
    dot_ = new QLabel(box);
    status_ = label(QString(), box);
    status_->setWordWrap(false);
    status_->setAccessibleName(QStringLiteral("Screensaver status"));
    credits_ = caption(QString(), box);
    credits_->setWordWrap(false);
    credits_->setAccessibleName(QStringLiteral("Credits"));
    loading_ = new QProgressBar(box);
    loading_->setRange(0, 0);
    loading_->setTextVisible(false);
    loading_->setFixedSize(40, 8);
    loading_->setAccessibleName(QStringLiteral("Loading"));
    statusAction_ = new QPushButton(box);
    auto* gear = new QToolButton(box);
    gear->setText(QStringLiteral("⚙"));
    QFont gearFont = gear->font();
    gearFont.setPointSizeF(gearFont.pointSizeF() * 1.4);
    gear->setFont(gearFont);
    gear->setAutoRaise(true);
    gear->setToolTip(contentTexts::settingsTooltip);
    gear->setAccessibleName(contentTexts::settingsTooltip);
    startLine_ = caption(QString(), box);
    startLine_->setAccessibleName(QStringLiteral("How the screensaver starts"));
    pluginError_ = caption(QString(), box);
    makeRed(pluginError_);
    pluginError_->setAccessibleName(QStringLiteral("Screensaver error"));
    statusMessage_ = caption(QString(), box);
    statusMessage_->setAccessibleName(QStringLiteral("Install status"));

    auto* words = new QVBoxLayout;
    words->setSpacing(1);
    words->addWidget(status_);
    words->addWidget(credits_);
    auto* row = new QHBoxLayout;
    row->addWidget(dot_);
    row->addLayout(words, 1);
    row->addWidget(loading_);
    row->addWidget(statusAction_);
    row->addWidget(gear);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(startLine_);
    layout->addWidget(pluginError_);
    layout->addWidget(statusMessage_);
    connect(statusAction_, &QPushButton::clicked, view_, &ContentView::activateStatusAction);
    connect(gear, &QToolButton::clicked, view_, &ContentView::openSettings);
    return box;
}

QWidget* ContentWidget::buildDaemon(QWidget* parent)
{
    daemon_ = card(parent, QStringLiteral("Desktop screensaver"));
    daemonHelp_ = caption(QString(), daemon_);
    daemonHelp_->setAccessibleName(QStringLiteral("Desktop screensaver help"));
    daemonAdd_ = button(contentTexts::addToDaemon, daemon_);
    daemonAdd_->setToolTip(QStringLiteral("Adds Quorvel to %1").arg(view_->daemonConfigurationName()));
    // A line to copy into the locker's environment, so it can be selected whole.
    daemonLine_ = label(QString(), daemon_);
    daemonLine_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    daemonLine_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    daemonLine_->setAccessibleName(QStringLiteral("Locker environment line"));
    daemonMessage_ = caption(QString(), daemon_);
    daemonMessage_->setAccessibleName(QStringLiteral("Desktop screensaver"));
    auto* layout = new QVBoxLayout(daemon_);
    layout->addWidget(daemonHelp_);
    layout->addWidget(daemonAdd_, 0, Qt::AlignLeft);
    layout->addWidget(daemonLine_);
    layout->addWidget(daemonMessage_);
    connect(daemonAdd_, &QPushButton::clicked, view_, &ContentView::addToDesktopDaemon);
    return daemon_;
}

void ContentWidget::loadLogo(QNetworkAccessManager& network)
{
    QNetworkRequest request { QUrl(view_->logoUrl()) };
    request.setTransferTimeout(kLogoTimeoutMs);
    QNetworkReply* reply = network.get(request);
    platform::limitReplyBody(*reply, kLogoMaxBytes);
    QPointer<ContentWidget> self(this);
    connect(reply, &QNetworkReply::finished, reply, [self, reply] {
        reply->deleteLater();
        if (!self || reply->error() != QNetworkReply::NoError)
            return;
        QPixmap logo;
        if (!logo.loadFromData(reply->readAll()) || logo.isNull())
            return;
        self->showLogo(logo);
        self->logoLoaded_ = true;
    });
    // A window closed before the answer abandons it.
    connect(this, &QObject::destroyed, reply, &QNetworkReply::abort);
}

void ContentWidget::showLogo(const QPixmap& logo)
{
    for (QLabel* l : logos_)
        l->setPixmap(logo);
}

void ContentWidget::refresh()
{
    const ContentView& v = *view_;
    const int page = v.screen() == ContentView::Screen::moveCard ? 0
        : v.screen() == ContentView::Screen::onboarding          ? 1
                                                                 : 2;
    pages_->setCurrentIndex(page);

    // Onboarding.
    allSet_->setVisible(v.showsAllSet());
    notYet_->setVisible(!v.showsAllSet());
    onboardingStartLine_->setVisible(v.onboardingStartLine().has_value());
    showText(onboardingStartLine_, v.onboardingStartLine().value_or(QString()));
    onboardingEnable_->setEnabled(v.enableEnabled());
    onboardingCaption_->setText(v.onboardingCaption());
    if (v.errorText())
        makeRed(onboardingCaption_);
    else
        onboardingCaption_->setForegroundRole(QPalette::PlaceholderText);

    // Main screen.
    banner_->setVisible(v.enrollmentError().has_value());
    bannerText_->setText(v.enrollmentError().value_or(QString()));
    retry_->setEnabled(v.retryEnabled());
    create_->setEnabled(v.createEnabled());
    create_->setToolTip(v.createTooltip());

    latest_->setVisible(v.showsLatest());
    latestHeading_->setText(v.latestHeading());
    latest_->setAccessibleName(v.latestHeading());
    progressRow_->setVisible(v.isGenerating());
    showText(stage_, v.stage());
    readyRow_->setVisible(v.showsClipReady());
    errorRow_->setVisible(v.generationError().has_value());
    showText(errorText_, v.generationError().value_or(QString()));
    debugToggle_->setVisible(v.showsDebugConsole());
    debugToggle_->setChecked(v.debugLogExpanded());
    debugToggle_->setArrowType(v.debugLogExpanded() ? Qt::DownArrow : Qt::RightArrow);
    debugLog_->setVisible(v.showsDebugConsole() && v.debugLogExpanded());
    if (debugLog_->toPlainText() != v.debugLogText()) {
        debugLog_->setPlainText(v.debugLogText());
        debugLog_->moveCursor(QTextCursor::End);
    }

    plans_->setVisible(v.showsPlans());
    plansSubtitle_->setText(v.plansSubtitle());
    plans_->setAccessibleDescription(v.plansSubtitle());

    dot_->setPixmap(dotPixmap(v.statusDot()));
    dot_->setAccessibleName(dotName(v.statusDot()));
    showText(status_, v.statusText());
    credits_->setVisible(v.creditCaption().has_value());
    showText(credits_, v.creditCaption().value_or(QString()));
    loading_->setVisible(v.showsLoading());
    statusAction_->setVisible(v.statusAction() != ContentView::StatusAction::none);
    statusAction_->setText(v.statusActionText());
    statusAction_->setAccessibleName(v.statusActionText());
    statusAction_->setEnabled(v.statusActionEnabled());
    startLine_->setVisible(v.startLine().has_value());
    showText(startLine_, v.startLine().value_or(QString()));
    pluginError_->setVisible(v.errorText().has_value());
    showText(pluginError_, v.errorText().value_or(QString()));
    statusMessage_->setVisible(v.showsStatusMessage());
    showText(statusMessage_, v.statusMessage());
    const ContentView::DaemonCard daemon = v.daemonCard();
    daemon_->setVisible(daemon != ContentView::DaemonCard::none);
    daemonHelp_->setText(v.daemonCardText());
    daemonAdd_->setVisible(daemon == ContentView::DaemonCard::xscreensaver);
    daemonLine_->setVisible(daemon == ContentView::DaemonCard::xsecurelock);
    showText(daemonLine_, v.xsecurelockLine());
    daemonMessage_->setVisible(v.daemonMessage().has_value());
    showText(daemonMessage_, v.daemonMessage().value_or(QString()));
}

} // namespace quorvel::app
