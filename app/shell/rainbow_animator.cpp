#include "app/shell/rainbow_animator.h"

#include "platform/clock.h"

namespace quorvel::app {

QString rainbowTitle(const std::optional<QString>& shortVersion, const std::optional<QString>& buildVersion)
{
    return QStringLiteral("Quorvel · v%1 (%2)")
        .arg(shortVersion.value_or(QStringLiteral("1.0")), buildVersion.value_or(QStringLiteral("0")));
}

void TextLayer::setFrame(const QRectF& frame, bool animated)
{
    if (frame_ == frame)
        return;
    frame_ = frame;
    emit frameChanged(animated);
}

void ColorLayer::setBackgroundColor(const QColor& color)
{
    if (backgroundColor_ == color)
        return;
    backgroundColor_ = color;
    emit backgroundColorChanged();
}

void ColorLayer::addAnimation(const QString& key, const ColorAnimation& animation)
{
    animations_.removeIf([&](const auto& entry) { return entry.first == key; });
    animations_.append({ key, animation });
    emit animationAdded(key);
}

std::optional<ColorAnimation> ColorLayer::animation(const QString& key) const
{
    for (const auto& [entryKey, animation] : animations_)
        if (entryKey == key)
            return animation;
    return std::nullopt;
}

void ColorLayer::addSublayer(TextLayer* layer)
{
    layer->setParent(this);
    sublayers_.append(layer);
    emit sublayerAdded(layer);
}

const QList<QColor>& RainbowAnimator::colors()
{
    static const QList<QColor> palette { QColor(97, 187, 70), QColor(253, 184, 39), QColor(245, 130, 31),
        QColor(224, 58, 62), QColor(150, 61, 151), QColor(0, 157, 220) };
    return palette;
}

RainbowAnimator::RainbowAnimator(platform::Sleeper& sleeper, QString title, QObject* parent)
    : QObject(parent)
    , sleeper_(sleeper)
    , title_(std::move(title))
{
}

RainbowAnimator::~RainbowAnimator()
{
    stop();
}

void RainbowAnimator::attachTitle(ColorLayer& parent, std::optional<qreal> mainScreenScale)
{
    auto* label = new TextLayer;
    label->text = title_;
    label->font = QFont();
    label->font.setPointSizeF(22);
    label->font.setWeight(QFont::Medium);
    label->foregroundColor = Qt::white;
    label->alignment = Qt::AlignHCenter;
    label->shadowColor = Qt::black;
    label->shadowOpacity = 0.6;
    label->shadowRadius = 6;
    label->shadowOffset = { 0, 0 };
    label->contentsScale = mainScreenScale.value_or(2.0);
    parent.addSublayer(label);
    labelLayer_ = label;
    centerTitle(parent.bounds());
}

void RainbowAnimator::centerTitle(const QRectF& bounds)
{
    if (!labelLayer_)
        return;
    const QPointF center = bounds.center();
    labelLayer_->setFrame(QRectF(center.x() - titleSize.width() / 2, center.y() - titleSize.height() / 2,
                              titleSize.width(), titleSize.height()),
        false);
}

void RainbowAnimator::start()
{
    if (timer_)
        return;
    timer_ = std::make_unique<QObject>();
    scheduleNext();
}

void RainbowAnimator::stop()
{
    timer_.reset();
}

void RainbowAnimator::scheduleNext()
{
    // The pending step belongs to the timer object: stop() or the animator's end drops it.
    sleeper_.schedule(interval, timer_.get(), [this] {
        advance();
        if (timer_)
            scheduleNext();
    });
}

void RainbowAnimator::advance()
{
    if (!parentLayer_)
        return;
    index_ = (index_ + 1) % int(colors().size());
    const QColor next = colors().at(index_);
    parentLayer_->addAnimation(animationKey,
        ColorAnimation { QStringLiteral("backgroundColor"), parentLayer_->backgroundColor(), next, fadeDuration });
    parentLayer_->setBackgroundColor(next);
}

} // namespace quorvel::app
