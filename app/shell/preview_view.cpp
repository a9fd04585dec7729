#include "app/shell/preview_view.h"

#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVariantAnimation>

namespace quorvel::app {

PreviewView::PreviewView(platform::Sleeper& sleeper, QString title, QWidget* parent)
    : QWidget(parent)
    , animator_(sleeper, std::move(title))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Quorvel preview"));
    layer_.setBackgroundColor(animator_.currentColor());
    displayed_ = layer_.backgroundColor();
    connect(&layer_, &ColorLayer::animationAdded, this, &PreviewView::fade);
    connect(&layer_, &ColorLayer::sublayerAdded, this, &PreviewView::titleAdded);
    connect(&layer_, &ColorLayer::backgroundColorChanged, this, [this] {
        if (!fade_ || fade_->state() != QAbstractAnimation::Running) {
            displayed_ = layer_.backgroundColor();
            update();
        }
    });
}

PreviewView::~PreviewView()
{
    animator_.stop();
}

void PreviewView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    enteredWindow();
}

void PreviewView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Out of sight the colour stays where it is; the cycle resumes from it when shown again.
    animator_.stop();
}

void PreviewView::enteredWindow()
{
    layer_.setBounds(rect());
    animator_.setParentLayer(&layer_);
    layer_.setBackgroundColor(animator_.currentColor());
    layer_.setOpaque(true);
    if (!animator_.labelLayer()) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        animator_.attachTitle(layer_, screen ? std::optional<qreal>(screen->devicePixelRatio()) : std::nullopt);
    }
    animator_.centerTitle(rect());
    animator_.start();
}

void PreviewView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layer_.setBounds(rect());
    animator_.centerTitle(rect());
}

void PreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), displayed_);
}

void PreviewView::fade(const QString& key)
{
    const auto animation = layer_.animation(key);
    if (!animation)
        return;
    if (!fade_) {
        fade_ = new QVariantAnimation(this);
        connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            displayed_ = value.value<QColor>();
            update();
        });
    }
    // A new fade replaces an unfinished one and starts from where the screen is now.
    fade_->stop();
    fade_->setStartValue(displayed_.isValid() ? displayed_ : animation->from);
    fade_->setEndValue(animation->to);
    fade_->setDuration(int(animation->duration.count()));
    fade_->start();
}

void PreviewView::titleAdded(TextLayer* layer)
{
    title_ = new QLabel(this);
    title_->setTextFormat(Qt::PlainText);
    title_->setText(layer->text);
    title_->setFont(layer->font);
    title_->setAlignment(layer->alignment | Qt::AlignVCenter);
    QPalette palette = title_->palette();
    palette.setColor(QPalette::WindowText, layer->foregroundColor);
    title_->setPalette(palette);
    title_->setAccessibleName(layer->text);
    auto* shadow = new QGraphicsDropShadowEffect(title_);
    QColor shadowColor = layer->shadowColor;
    shadowColor.setAlphaF(layer->shadowOpacity);
    shadow->setColor(shadowColor);
    // A layer's shadow radius is a blur's standard deviation; the effect wants the blur's extent.
    shadow->setBlurRadius(layer->shadowRadius * 2);
    shadow->setOffset(layer->shadowOffset);
    title_->setGraphicsEffect(shadow);
    title_->setGeometry(layer->frame().toRect());
    title_->show();
    connect(
        layer, &TextLayer::frameChanged, title_, [this, layer](bool) { title_->setGeometry(layer->frame().toRect()); });
}

} // namespace quorvel::app
