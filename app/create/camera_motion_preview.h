#pragma once
// The small looping diagram of a camera move with its one-line description under it. It redraws
// from the injected clock at most 30 times a second while shown, and draws one still frame (no
// timer at all) while the desktop asks for reduced motion, following its changes at once.

#include "app/create/camera_motion_diagram.h"

#include <QTimer>
#include <QWidget>

namespace quorvel::platform {
class Clock;
class DesktopAppearance;
}

namespace quorvel::create {

class CameraMotionPreview final : public QWidget {
    Q_OBJECT
public:
    static constexpr int previewWidth = 178;

    // Both references must outlive the widget.
    CameraMotionPreview(
        const platform::Clock& clock, const platform::DesktopAppearance& desktop, QWidget* parent = nullptr);

    QString motion() const { return motion_; }
    void setMotion(const QString& motionKey);
    bool reduceMotion() const { return reduceMotion_; }

    // The frame the next paint draws, from the clock's time (or the still frame).
    CameraMotionFrame currentFrame() const;
    // True while the frame timer runs: shown, animation allowed and not reduced motion.
    bool isAnimating() const { return timer_.isActive(); }
    // Lets an owner freeze the diagram (for example while its window is covered) and resume it.
    void setAnimationAllowed(bool allowed);
    std::chrono::milliseconds frameInterval() const { return timer_.intervalAsDuration(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setReduceMotion(bool reduce);
    void updateTimer();
    void updateAccessibility();
    QFont descriptionFont() const;
    QRectF diagramRect() const;

    const platform::Clock& clock_;
    QString motion_;
    CameraMotionSpec spec_;
    bool reduceMotion_ = false;
    bool animationAllowed_ = true;
    QTimer timer_;
};

} // namespace quorvel::create
