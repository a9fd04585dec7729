#include "host/dismissal_filter.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace quorvel::saver {

bool DismissalRules::dismisses(const InputEvent& event)
{
    if (event.kind != InputKind::Move)
        return true;
    if (!restingPosition_) {
        restingPosition_ = event.globalPosition;
        return false;
    }
    const QPoint moved = event.globalPosition - *restingPosition_;
    return std::max(std::abs(moved.x()), std::abs(moved.y())) > kJitterPixels;
}

bool DismissalFilter::eventFilter(QObject* watched, QEvent* event)
{
    // Events reach the filter once per receiver (window, then widget...); only windows are read,
    // so one physical event counts once.
    if (!qobject_cast<QWindow*>(watched))
        return false;
    std::optional<InputEvent> input;
    switch (event->type()) {
    case QEvent::KeyPress:
        input = InputEvent { InputKind::Key, {} };
        break;
    case QEvent::MouseButtonPress:
        input = InputEvent { InputKind::Click, {} };
        break;
    case QEvent::Wheel:
        input = InputEvent { InputKind::Wheel, {} };
        break;
    case QEvent::MouseMove:
        input = InputEvent { InputKind::Move, static_cast<QMouseEvent*>(event)->globalPosition().toPoint() };
        break;
    default:
        return false;
    }
    if (!dismissed_ && rules_.dismisses(*input)) {
        dismissed_ = true;
        emit dismissed();
    }
    // The module's views never see the input that wakes the screen.
    return true;
}

} // namespace quorvel::saver
