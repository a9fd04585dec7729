#pragma once
// A slowly cycling background colour with a centred title line of the product name and version.
// The layers here are plain data that a view renders; the animator only decides what they hold.

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace quorvel::platform {
class Sleeper;
}

namespace quorvel::app {

// "Quorvel · v1.2 (42)"; a missing short version reads "1.0", a missing build "0".
QString rainbowTitle(const std::optional<QString>& shortVersion, const std::optional<QString>& buildVersion);

// A line of text drawn above its parent's background.
class TextLayer final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QString text;
    QFont font;
    QColor foregroundColor;
    Qt::Alignment alignment = Qt::AlignHCenter;
    QColor shadowColor;
    qreal shadowOpacity = 0;
    qreal shadowRadius = 0;
    QPointF shadowOffset;
    qreal contentsScale = 1;

    QRectF frame() const { return frame_; }
    // `animated` false moves the line in one step, without a visible slide.
    void setFrame(const QRectF& frame, bool animated);

signals:
    void frameChanged(bool animated);

private:
    QRectF frame_;
};

struct ColorAnimation {
    QString keyPath; // "backgroundColor"
    QColor from;
    QColor to;
    std::chrono::milliseconds duration { 0 };
};

// A rectangle with a background colour, running colour animations by key, and text sublayers.
class ColorLayer final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    QRectF bounds() const { return bounds_; }
    void setBounds(const QRectF& bounds) { bounds_ = bounds; }

    // Starts `animation` under `key`, replacing an unfinished one of the same key.
    void addAnimation(const QString& key, const ColorAnimation& animation);
    std::optional<ColorAnimation> animation(const QString& key) const;

    // Takes ownership.
    void addSublayer(TextLayer* layer);
    const QList<TextLayer*>& sublayers() const { return sublayers_; }

signals:
    void backgroundColorChanged();
    void animationAdded(const QString& key);
    void sublayerAdded(quorvel::app::TextLayer* layer);

private:
    QColor backgroundColor_;
    bool opaque_ = false;
    QRectF bounds_;
    QList<QPair<QString, ColorAnimation>> animations_;
    QList<TextLayer*> sublayers_;
};

class RainbowAnimator final : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds interval { 3000 };
    static constexpr std::chrono::milliseconds fadeDuration { 2000 };
    static inline const QString animationKey = QStringLiteral("backgroundColorAnimation");
    static constexpr QSizeF titleSize { 640, 32 };

    // The palette in cycle order: green, yellow, orange, red, purple, blue.
    static const QList<QColor>& colors();

    // `sleeper` drives the timer and must outlive the animator.
    RainbowAnimator(platform::Sleeper& sleeper, QString title, QObject* parent = nullptr);
    ~RainbowAnimator() override;

    int index() const { return index_; }
    QColor currentColor() const { return colors().at(index_); }
    ColorLayer* parentLayer() const { return parentLayer_; }
    void setParentLayer(ColorLayer* layer) { parentLayer_ = layer; }
    TextLayer* labelLayer() const { return labelLayer_; }
    bool isRunning() const { return timer_ != nullptr; }

    // Builds the title line, adds it to `parent` and centres it. `mainScreenScale` is the main
    // screen's backing scale, none when there is no screen.
    void attachTitle(ColorLayer& parent, std::optional<qreal> mainScreenScale);
    // Centres the title on `bounds` without animation.
    void centerTitle(const QRectF& bounds);

    // A step every `interval` until stop(); a second start while running does nothing.
    void start();
    void stop();
    // One colour forward, fading over `fadeDuration`; nothing when the parent layer is gone.
    void advance();

private:
    void scheduleNext();

    platform::Sleeper& sleeper_;
    QString title_;
    QPointer<ColorLayer> parentLayer_;
    QPointer<TextLayer> labelLayer_;
    // Exists while the timer runs; destroying it drops the pending step.
    std::unique_ptr<QObject> timer_;
    int index_ = 0;
};

} // namespace quorvel::app
