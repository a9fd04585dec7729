#pragma once
// A view whose whole background fades through the rainbow palette behind the product's name and
// version, while it is shown in a window.

#include "app/shell/rainbow_animator.h"

#include <QColor>
#include <QWidget>

class QLabel;
class QVariantAnimation;

namespace quorvel::app {

class PreviewView final : public QWidget {
    Q_OBJECT
public:
    // `sleeper` drives the colour timer; `title` is the line shown (see rainbowTitle).
    PreviewView(platform::Sleeper& sleeper, QString title, QWidget* parent = nullptr);
    ~PreviewView() override;

    RainbowAnimator& animator() { return animator_; }
    ColorLayer& layer() { return layer_; }
    // The colour on screen now, between two palette colours during a fade.
    QColor displayedColor() const { return displayed_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void enteredWindow();
    void fade(const QString& key);
    void titleAdded(TextLayer* layer);

    ColorLayer layer_;
    RainbowAnimator animator_;
    QColor displayed_;
    QLabel* title_ = nullptr;
    QVariantAnimation* fade_ = nullptr;
};

} // namespace quorvel::app
