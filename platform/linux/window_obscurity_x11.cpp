#include "platform/window_obscurity.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>

namespace quorvel::platform {
namespace {

class NeverObscured final : public WindowObscurity {
public:
    using WindowObscurity::WindowObscurity;
    bool isFullyObscured() const override { return false; }
};

// Event masks are per client: selecting VisibilityChange on a connection of our own leaves the
// toolkit's selection on the window untouched and brings the notifications here alone.
class X11WindowObscurity final : public WindowObscurity {
public:
    X11WindowObscurity(xcb_connection_t* connection, quint32 window, QObject* parent)
        : WindowObscurity(parent)
        , connection_(connection)
    {
        const uint32_t mask = XCB_EVENT_MASK_VISIBILITY_CHANGE;
        xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
        notifier_ = new QSocketNotifier(xcb_get_file_descriptor(connection_), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &X11WindowObscurity::drain);
    }
    ~X11WindowObscurity() override { xcb_disconnect(connection_); }
    bool isFullyObscured() const override { return obscured_; }

private:
    void drain()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            if ((event->response_type & 0x7f) == XCB_VISIBILITY_NOTIFY) {
                const auto* visibility = reinterpret_cast<xcb_visibility_notify_event_t*>(event);
                update(visibility->state == XCB_VISIBILITY_FULLY_OBSCURED);
            }
            std::free(event);
        }
        // A server that went away: nothing more will come.
        if (xcb_connection_has_error(connection_))
            notifier_->setEnabled(false);
    }
    void update(bool obscured)
    {
        if (obscured == obscured_)
            return;
        obscured_ = obscured;
        emit fullyObscuredChanged(obscured);
    }

    xcb_connection_t* connection_;
    QSocketNotifier* notifier_ = nullptr;
    bool obscured_ = false;
};

} // namespace

std::unique_ptr<WindowObscurity> watchX11WindowObscurity(const QByteArray& display, quint32 windowId, QObject* parent)
{
    xcb_connection_t* connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return std::make_unique<NeverObscured>(parent);
    }
    return std::make_unique<X11WindowObscurity>(connection, windowId, parent);
}

std::unique_ptr<WindowObscurity> watchWindowObscurity(quint64 windowId, QObject* parent)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::make_unique<NeverObscured>(parent);
    return watchX11WindowObscurity(qgetenv("DISPLAY"), static_cast<quint32>(windowId), parent);
}

} // namespace quorvel::platform
