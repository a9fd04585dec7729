#pragma once
// When a running screensaver is dismissed: any key, any click, or real mouse movement.

#include <QObject>
#include <QPoint>

#include <optional>

namespace quorvel::saver {

enum class InputKind { Key, Click, Wheel, Move };

struct InputEvent {
    InputKind kind;
    QPoint globalPosition; // for Move
};

// The rules, free of any window system. The first move only marks where the pointer rests (the
// window system sends one when a window appears under the cursor); later moves dismiss once the
// pointer is more than kJitterPixels away from there, so a shaking desk does not wake the screen.
class DismissalRules {
public:
    static constexpr int kJitterPixels = 4;

    // True when `event` dismisses the screensaver.
    bool dismisses(const InputEvent& event);

private:
    std::optional<QPoint> restingPosition_;
};

// Feeds an application's input events to the rules and signals dismissal once. Install it on the
// application so every saver window is covered.
class DismissalFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override;
    bool isDismissed() const { return dismissed_; }

signals:
    void dismissed();

private:
    DismissalRules rules_;
    bool dismissed_ = false;
};

} // namespace quorvel::saver
