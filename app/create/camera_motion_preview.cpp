#include "app/create/camera_motion_preview.h"

#include "app/create/camera_motion_painter.h"
#include "platform/clock.h"
#include "platform/desktop_appearance.h"

#include <QFontMetrics>
#include <QPainter>

namespace quorvel::create {

namespace {
constexpr int descriptionGap = 4;
}

CameraMotionPreview::CameraMotionPreview(
    const platform::Clock& clock, const platform::DesktopAppearance& desktop, QWidget* parent)
    : QWidget(parent)
    , clock_(clock)
    , motion_(vocabulary::defaultMotion())
    , spec_(cameraMotionSpec(motion_))
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(diagramFrameInterval);
    connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    reduceMotion_ = desktop.reduceMotion();
    connect(&desktop, &platform::DesktopAppearance::reduceMotionChanged, this, &CameraMotionPreview::setReduceMotion);
    updateAccessibility();
}

void CameraMotionPreview::setMotion(const QString& motionKey)
{
    if (motionKey == motion_)
        return;
    motion_ = motionKey;
    spec_ = cameraMotionSpec(motionKey);
    updateAccessibility();
    update();
}

CameraMotionFrame CameraMotionPreview::currentFrame() const
{
    if (reduceMotion_)
        return staticCameraMotionFrame(spec_);
    return cameraMotionFrame(spec_, cycleProgress(spec_, clock_.monotonic()));
}

void CameraMotionPreview::setAnimationAllowed(bool allowed)
{
    animationAllowed_ = allowed;
    updateTimer();
}

QSize CameraMotionPreview::sizeHint() const
{
    const QFontMetrics metrics(descriptionFont());
    return { previewWidth, int(diagramSize.height()) + descriptionGap + metrics.height() };
}

void CameraMotionPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF surface = diagramRect();
    const DiagramColours colours = DiagramColours::fromPalette(palette());
    painter.save();
    painter.translate(surface.topLeft());
    paintCameraMotionFrame(painter, currentFrame(), colours);
    painter.restore();

    painter.setFont(descriptionFont());
    painter.setPen(colours.secondary);
    const QRect textRect(
        0, int(surface.bottom()) + descriptionGap, width(), height() - int(surface.bottom()) - descriptionGap);
    const QString text = painter.fontMetrics().elidedText(spec_.description, Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text);
}

void CameraMotionPreview::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateTimer();
}

void CameraMotionPreview::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updateTimer();
}

void CameraMotionPreview::setReduceMotion(bool reduce)
{
    if (reduce == reduceMotion_)
        return;
    reduceMotion_ = reduce;
    updateTimer();
    updateAccessibility();
    update();
}

void CameraMotionPreview::updateTimer()
{
    const bool run = isVisible() && animationAllowed_ && !reduceMotion_;
    if (run && !timer_.isActive())
        timer_.start();
    else if (!run)
        timer_.stop();
}

void CameraMotionPreview::updateAccessibility()
{
    const CameraMotionAccessibility texts = cameraMotionAccessibility(motion_, reduceMotion_);
    setAccessibleName(texts.label);
    // Qt widgets carry no separate value: the description reads the value, then the hint.
    setAccessibleDescription(texts.value + QStringLiteral(". ") + texts.hint);
}

QFont CameraMotionPreview::descriptionFont() const
{
    QFont font = this->font();
    font.setPointSizeF(std::max(7.0, font.pointSizeF() * 0.77)); // caption 2
    return font;
}

QRectF CameraMotionPreview::diagramRect() const
{
    return { (width() - diagramSize.width()) / 2, 0, diagramSize.width(), diagramSize.height() };
}

} // namespace quorvel::create
