#include "platform/linux/idle_monitors.h"
#include "platform/linux/xcb_support.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/screensaver.h>

#include <algorithm>

namespace quorvel::platform {
namespace {

using namespace std::chrono_literals;
using detail::XcbReply;
using std::chrono::milliseconds;

// The core protocol counts the server's screensaver timeout in whole seconds, in 16 bits.
constexpr int kLongestTimeout = 32767;
// How long a shortened timeout may stand before the threshold's own timeout comes back; the
// server fires one second after the shortened timeout is set.
constexpr milliseconds kNudgeWindow = 1200ms;
// Timers and the server's clock drift apart by a few milliseconds; a spell is not cut that finely.
constexpr milliseconds kSlack = 250ms;

int timeoutSeconds(milliseconds threshold)
{
    return int(std::clamp<qint64>((threshold.count() + 999) / 1000, 1, kLongestTimeout));
}

struct ServerSettings {
    int16_t timeout = 0;
    int16_t interval = 0;
    uint8_t blanking = XCB_BLANKING_DEFAULT;
    uint8_t exposures = XCB_EXPOSURES_DEFAULT;
};

// The server's screensaver activates when nothing reset it for its timeout and no client suspends
// it; as the registered external saver we learn of that through ScreenSaverNotify and the server
// draws nothing. The server's timer only counts from the moment its timeout is set, so for a
// spell already in progress when the threshold is armed, the timeout is shortened to one second
// just before the spell reaches the threshold (the nudge), which still honours a suspension.
class X11IdleMonitor final : public IdleMonitor {
public:
    X11IdleMonitor(const QString& displayName, QObject* parent)
        : IdleMonitor(parent)
    {
        detail::XcbDisplay display = detail::connectXcb(displayName);
        if (!display.connection) {
            reason_ = idle_reason::kDisplayUnreachable;
            return;
        }
        const xcb_query_extension_reply_t* extension
            = xcb_get_extension_data(display.connection.get(), &xcb_screensaver_id);
        if (!extension || !extension->present) {
            reason_ = idle_reason::kNoServerTimer;
            return;
        }
        connection_ = std::move(display.connection);
        root_ = display.screen->root;
        notifyEvent_ = extension->first_event + XCB_SCREENSAVER_NOTIFY;

        notifier_ = new QSocketNotifier(xcb_get_file_descriptor(connection_.get()), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &X11IdleMonitor::readEvents);
        // Replies read by a round trip may bring events along that the socket no longer announces.
        drain_ = new QTimer(this);
        drain_->setSingleShot(true);
        drain_->setInterval(0);
        connect(drain_, &QTimer::timeout, this, &X11IdleMonitor::readEvents);
        spellCheck_.setSingleShot(true);
        connect(&spellCheck_, &QTimer::timeout, this, &X11IdleMonitor::checkSpellInProgress);
        nudgeWindow_.setSingleShot(true);
        connect(&nudgeWindow_, &QTimer::timeout, this, &X11IdleMonitor::endNudge);
    }

    ~X11IdleMonitor() override { disarm(); }

    QString unavailableReason() const override { return reason_; }
    QString mechanism() const override { return QStringLiteral("the X server's screensaver timer"); }

    void watch(milliseconds threshold) override
    {
        if (!connection_)
            return;
        if (threshold <= 0ms) {
            disarm();
            return;
        }
        if (!previous_ && !takeOverServerSaver())
            return;
        threshold_ = threshold;
        setTimeout(timeoutSeconds(threshold));
        nudgeWindow_.stop();
        startSpellCheck();
    }

    std::optional<milliseconds> idleTime() const override
    {
        if (!connection_)
            return std::nullopt;
        XcbReply<xcb_screensaver_query_info_reply_t> info(xcb_screensaver_query_info_reply(
            connection_.get(), xcb_screensaver_query_info(connection_.get(), root_), nullptr));
        drain_->start();
        if (!info)
            return std::nullopt;
        return milliseconds(info->ms_since_user_input);
    }

private:
    // Registers the external saver and remembers the settings to give back; false when another
    // client holds the server's screensaver.
    bool takeOverServerSaver()
    {
        xcb_connection_t* c = connection_.get();
        XcbReply<xcb_get_screen_saver_reply_t> current(xcb_get_screen_saver_reply(c, xcb_get_screen_saver(c), nullptr));
        if (!current) {
            lose(idle_reason::kDisplayLost);
            return false;
        }
        // One pixel that takes no input and shows nothing: the saver's window exists only while
        // the server's screensaver is on, and the real saver draws in windows of its own.
        XcbReply<xcb_generic_error_t> error(xcb_request_check(c,
            xcb_screensaver_set_attributes_checked(
                c, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, XCB_COPY_FROM_PARENT, 0, nullptr)));
        if (error) {
            reason_ = error->error_code == XCB_ACCESS ? idle_reason::kSaverTaken : idle_reason::kNoServerTimer;
            return false;
        }
        xcb_screensaver_select_input(c, root_, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
        // The program that held the server's screensaver before may have gone since.
        reason_.clear();
        previous_ = ServerSettings { int16_t(current->timeout), int16_t(current->interval), current->prefer_blanking,
            current->allow_exposures };
        return true;
    }

    void disarm()
    {
        spellCheck_.stop();
        nudgeWindow_.stop();
        threshold_ = 0ms;
        idle_ = false;
        if (!previous_ || !connection_)
            return;
        xcb_connection_t* c = connection_.get();
        // Letting go of an active saver would hand the screen to the server's own blanking.
        if (saverOn_)
            xcb_force_screen_saver(c, XCB_SCREEN_SAVER_RESET);
        xcb_screensaver_select_input(c, root_, 0);
        xcb_screensaver_unset_attributes(c, root_);
        // Waited for: a server that finds the connection closed while it still has events to send
        // drops the requests it has not read yet.
        XcbReply<xcb_generic_error_t>(xcb_request_check(c,
            xcb_set_screen_saver_checked(
                c, previous_->timeout, previous_->interval, previous_->blanking, previous_->exposures)));
        previous_.reset();
        saverOn_ = false;
    }

    // Cycling would only repeat the notification; the previous blanking choice stays.
    void setTimeout(int seconds)
    {
        xcb_set_screen_saver(connection_.get(), int16_t(seconds), 0, previous_->blanking, previous_->exposures);
        xcb_flush(connection_.get());
    }

    // A spell already under way when the threshold was set would otherwise end late by its age.
    void startSpellCheck()
    {
        spellCheck_.stop();
        const std::optional<milliseconds> idle = idleTime();
        if (saverOn_ || !idle || *idle < 1s)
            return;
        spellStart_.start();
        spellAgeAtCheck_ = *idle;
        spellCheck_.start(std::max(0ms, threshold_ - *idle - 1s));
    }

    void checkSpellInProgress()
    {
        const std::optional<milliseconds> idle = idleTime();
        const milliseconds expected = spellAgeAtCheck_ + milliseconds(spellStart_.elapsed());
        // Input since then started a new spell, which the server's timer counts exactly.
        if (saverOn_ || !idle || *idle + kSlack < expected)
            return;
        setTimeout(1);
        nudgeWindow_.start(kNudgeWindow);
    }

    void endNudge()
    {
        if (threshold_ > 0ms)
            setTimeout(timeoutSeconds(threshold_));
    }

    void readEvents()
    {
        xcb_connection_t* c = connection_.get();
        if (!c)
            return;
        while (XcbReply<xcb_generic_event_t> event { xcb_poll_for_event(c) }) {
            if ((event->response_type & 0x7f) != notifyEvent_)
                continue;
            const auto* notify = reinterpret_cast<const xcb_screensaver_notify_event_t*>(event.get());
            if (notify->state == XCB_SCREENSAVER_STATE_ON)
                saverActivated();
            else if (notify->state == XCB_SCREENSAVER_STATE_OFF)
                saverDeactivated();
        }
        if (xcb_connection_has_error(c))
            lose(idle_reason::kDisplayLost);
    }

    void saverActivated()
    {
        saverOn_ = true;
        if (threshold_ <= 0ms)
            return;
        const bool nudged = nudgeWindow_.isActive();
        nudgeWindow_.stop();
        if (nudged)
            endNudge();
        const std::optional<milliseconds> idle = idleTime();
        // Only a nudge can fire early: input came during its second. That input already ended
        // nothing, so the saver is turned off again before anyone sees it.
        if (!idle || *idle + kSlack < threshold_) {
            xcb_force_screen_saver(connection_.get(), XCB_SCREEN_SAVER_RESET);
            xcb_flush(connection_.get());
            return;
        }
        if (!idle_) {
            idle_ = true;
            emit becameIdle();
        }
    }

    // Input, a reset heartbeat or a suspension turned the server's screensaver off (a reset also
    // reports this while the saver is off, which ends no spell).
    void saverDeactivated()
    {
        saverOn_ = false;
        if (!idle_)
            return;
        idle_ = false;
        emit becameActive();
    }

    void lose(const char* reason)
    {
        reason_ = reason;
        spellCheck_.stop();
        nudgeWindow_.stop();
        if (notifier_)
            notifier_->setEnabled(false);
        connection_.reset();
        previous_.reset();
    }

    detail::XcbConnection connection_;
    xcb_window_t root_ = 0;
    uint8_t notifyEvent_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* drain_ = nullptr;
    QString reason_;

    milliseconds threshold_ { 0 };
    std::optional<ServerSettings> previous_; // set while the server's screensaver is ours
    bool saverOn_ = false; // the server's screensaver is active
    bool idle_ = false; // becameIdle() was emitted for this spell

    QTimer spellCheck_;
    QElapsedTimer spellStart_;
    milliseconds spellAgeAtCheck_ { 0 };
    QTimer nudgeWindow_;
};

} // namespace

std::unique_ptr<IdleMonitor> makeX11IdleMonitor(const QString& displayName, QObject* parent)
{
    return std::make_unique<X11IdleMonitor>(displayName, parent);
}

} // namespace quorvel::platform
