#include "extension/quorvel_view.h"

#include <QApplication>
#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsVideoItem>
#include <QPen>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace quorvel::extension {
namespace {

constexpr qreal kMargin = 32;
constexpr qreal kTitleBottom = 72, kTitleHeight = 44, kTitleSize = 32;
constexpr qreal kCaptionBottom = 32, kCaptionHeight = 36, kCaptionSize = 24;

QGraphicsSimpleTextItem* makeTextLine(QGraphicsRectItem* box, qreal pixelSize, QFont::Weight weight, QColor colour)
{
    auto* text = new QGraphicsSimpleTextItem(box);
    QFont font;
    font.setPixelSize(static_cast<int>(pixelSize));
    font.setWeight(weight);
    text->setFont(font);
    text->setBrush(colour);
    text->setPen(Qt::NoPen);
    auto* shadow = new QGraphicsDropShadowEffect;
    shadow->setColor(QColor(0, 0, 0, static_cast<int>(0.8 * 255)));
    shadow->setBlurRadius(3 * 2);
    shadow->setOffset(0, 3);
    text->setGraphicsEffect(shadow);
    return text;
}

// An invisible box that clips its line, so long texts end at the frame instead of running off screen.
QGraphicsRectItem* makeClipBox(QGraphicsScene* scene, qreal z)
{
    auto* box = scene->addRect(QRectF(), Qt::NoPen, Qt::NoBrush);
    box->setFlag(QGraphicsItem::ItemClipsChildrenToShape);
    box->setZValue(z);
    return box;
}

} // namespace

QuorvelView::QuorvelView(std::shared_ptr<ExtensionEnvironment> environment,
    std::unique_ptr<platform::MediaPlayer> player, std::shared_ptr<RetentionMetricsStorage> retentionStorage,
    const QRect& frame, bool isPreview, QWidget* parent)
    : QGraphicsView(parent)
{
    playback_
        = new QuorvelPlayback(std::move(environment), std::move(player), isPreview, std::move(retentionStorage), this);
    scene_ = new QGraphicsScene(this);
    setScene(scene_);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackgroundBrush(Qt::black);
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::black));
    // The scene's background (and from the first frame on, the video) covers every pixel: filling
    // the viewport first would paint each frame's area twice.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    setFocusPolicy(Qt::NoFocus);

    video_ = new QGraphicsVideoItem;
    video_->setAspectRatioMode(Qt::KeepAspectRatioByExpanding);
    scene_->addItem(video_);
    playback_->player().setVideoSink(video_->videoSink());

    captionBox_ = makeClipBox(scene_, 1);
    caption_
        = makeTextLine(captionBox_, kCaptionSize, QFont::Medium, QColor(255, 255, 255, static_cast<int>(0.85 * 255)));
    titleBox_ = makeClipBox(scene_, 2); // the title is drawn on top
    title_ = makeTextLine(titleBox_, kTitleSize, QFont::DemiBold, Qt::white);
    titleBox_->setVisible(false);

    connect(playback_, &QuorvelPlayback::textChanged, this, &QuorvelView::updateTexts);
    resize(frame.size());
    layoutItems();
    playback_->loadFeed();
}

QuorvelView::~QuorvelView()
{
    if (observedWindow_)
        observedWindow_->removeEventFilter(this);
    if (observedSurface_)
        observedSurface_->removeEventFilter(this);
    // The sink belongs to the video item, which the scene deletes: the player must let go first.
    playback_->player().setVideoSink(nullptr);
}

void QuorvelView::startAnimation()
{
    playback_->startAnimation();
}
void QuorvelView::stopAnimation()
{
    playback_->stopAnimation();
}

QRectF QuorvelView::titleFrame() const
{
    return QRectF(kMargin, height() - kTitleBottom - kTitleHeight, width() - 2 * kMargin, kTitleHeight);
}

QRectF QuorvelView::captionFrame() const
{
    return QRectF(kMargin, height() - kCaptionBottom - kCaptionHeight, width() - 2 * kMargin, kCaptionHeight);
}

QString QuorvelView::titleText() const
{
    return title_->text();
}
QString QuorvelView::captionText() const
{
    return caption_->text();
}
bool QuorvelView::isTitleShown() const
{
    return titleBox_->isVisible();
}

void QuorvelView::drawBackground(QPainter* painter, const QRectF& rect)
{
    // A frame in aspect-fill covers the whole view; black under it would be drawn only to be painted over.
    if (!video_->videoSink()->videoFrame().isValid())
        QGraphicsView::drawBackground(painter, rect);
}

void QuorvelView::layoutItems()
{
    const QRectF bounds(0, 0, width(), height());
    scene_->setSceneRect(bounds);
    setSceneRect(bounds);
    video_->setPos(0, 0);
    video_->setSize(bounds.size());
    titleBox_->setRect(QRectF(QPointF(0, 0), titleFrame().size()));
    titleBox_->setPos(titleFrame().topLeft());
    captionBox_->setRect(QRectF(QPointF(0, 0), captionFrame().size()));
    captionBox_->setPos(captionFrame().topLeft());
}

void QuorvelView::updateTexts()
{
    caption_->setText(playback_->caption());
    title_->setText(playback_->title());
    titleBox_->setVisible(playback_->titleVisible());
}

void QuorvelView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    layoutItems();
}

void QuorvelView::showEvent(QShowEvent* event)
{
    QGraphicsView::showEvent(event);
    followWindow();
}

void QuorvelView::changeEvent(QEvent* event)
{
    QGraphicsView::changeEvent(event);
    if (event->type() == QEvent::ParentChange)
        followWindow();
}

bool QuorvelView::event(QEvent* event)
{
    // The view may be its own window; its own close and deactivation count as the window's.
    if (observedWindow_ == this)
        handleWindowEvent(event);
    return QGraphicsView::event(event);
}

void QuorvelView::followWindow()
{
    QWidget* current = isVisible() ? window() : nullptr;
    if (current == observedWindow_)
        return;
    // Observers of the window the view leaves go first, so it no longer pauses this view.
    if (observedWindow_ && observedWindow_ != this)
        observedWindow_->removeEventFilter(this);
    if (observedSurface_)
        observedSurface_->removeEventFilter(this);
    observedWindow_ = current;
    observedSurface_ = current ? current->windowHandle() : nullptr;
    // A new window counts as seen until its own expose events tell otherwise.
    surfaceExposed_ = true;
    obscurity_.reset();
    updateExposure();
    playback_->windowChanged(current != nullptr);
    if (!current)
        return;
    obscurity_ = platform::watchWindowObscurity(current->winId());
    connect(obscurity_.get(), &platform::WindowObscurity::fullyObscuredChanged, this, &QuorvelView::updateExposure);
    if (current != this)
        current->installEventFilter(this);
    if (observedSurface_)
        observedSurface_->installEventFilter(this);
    layoutItems();
}

bool QuorvelView::eventFilter(QObject* watched, QEvent* event)
{
    // Unmapped or minimised: nothing of the window reaches the screen.
    if (observedSurface_ && watched == observedSurface_ && event->type() == QEvent::Expose) {
        surfaceExposed_ = observedSurface_->isExposed();
        updateExposure();
    }
    if (observedWindow_ && watched == observedWindow_ && watched != this)
        handleWindowEvent(event);
    return QGraphicsView::eventFilter(watched, event);
}

void QuorvelView::updateExposure()
{
    playback_->setExposed(surfaceExposed_ && !(obscurity_ && obscurity_->isFullyObscured()));
}

bool QuorvelView::focusStayedInProcess() const
{
    // Qt names the newly active window before it tells the old one it lost activation.
    const QWidget* active = QApplication::activeWindow();
    return active && active != observedWindow_;
}

void QuorvelView::handleWindowEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Close:
        playback_->dismissalSignal(DismissalSignal::WindowWillClose, observedWindow_->isVisible());
        break;
    case QEvent::WindowDeactivate:
        if (focusStayedInProcess()) {
            playback_->focusMovedWithinProcess();
            break;
        }
        playback_->dismissalSignal(DismissalSignal::WindowDidResignKey, observedWindow_->isVisible());
        break;
    case QEvent::Hide:
        playback_->dismissalSignal(DismissalSignal::WindowDidChangeOcclusionState, false);
        break;
    case QEvent::WindowStateChange:
        if (observedWindow_->isMinimized())
            playback_->dismissalSignal(DismissalSignal::WindowDidChangeOcclusionState, false);
        break;
    default:
        break;
    }
}

} // namespace quorvel::extension
