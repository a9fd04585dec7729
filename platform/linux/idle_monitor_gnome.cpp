#include "platform/linux/idle_monitors.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <functional>

namespace quorvel::platform {
namespace {

using std::chrono::milliseconds;

constexpr auto kMutterService = "org.gnome.Mutter.IdleMonitor";
constexpr auto kMutterPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr auto kMutterInterface = "org.gnome.Mutter.IdleMonitor";
constexpr auto kSessionService = "org.gnome.SessionManager";
constexpr auto kSessionPath = "/org/gnome/SessionManager";
constexpr auto kSessionInterface = "org.gnome.SessionManager";
// The session manager's inhibit flag for "don't mark the session idle".
constexpr uint kInhibitIdle = 8;
constexpr int kCallTimeoutMs = 2000;

// Mutter counts the idle time and fires a watch when it crosses an interval, and a user-active
// watch at the next input; the session manager knows who inhibits idleness (a video call, a
// player). A spell starts when the idle watch fires and ends at the next input; it becomes idle
// once nothing inhibits it, which may be later, when the last inhibitor goes.
class GnomeIdleMonitor final : public IdleMonitor {
    Q_OBJECT
public:
    GnomeIdleMonitor(const QDBusConnection& bus, QObject* parent)
        : IdleMonitor(parent)
        , bus_(bus)
    {
        bus_.connect(
            kMutterService, kMutterPath, kMutterInterface, QStringLiteral("WatchFired"), this, SLOT(watchFired(uint)));
        bus_.connect(kSessionService, kSessionPath, kSessionInterface, QStringLiteral("InhibitorRemoved"), this,
            SLOT(inhibitorRemoved()));
    }

    ~GnomeIdleMonitor() override
    {
        removeWatch(idleWatch_);
        removeWatch(activeWatch_);
    }

    QString unavailableReason() const override
    {
        return bus_.isConnected() ? QString() : QString::fromLatin1(idle_reason::kNoDesktopSupport);
    }
    QString mechanism() const override { return QStringLiteral("GNOME's idle monitor and session inhibitors"); }

    void watch(milliseconds threshold) override
    {
        ++generation_;
        removeWatch(idleWatch_);
        idleWatch_ = 0;
        threshold_ = std::max(threshold, milliseconds(0));
        if (threshold_.count() == 0) {
            inSpell_ = false;
            idle_ = false;
            return;
        }
        const quint64 generation = generation_;
        call(mutter(QStringLiteral("AddIdleWatch"), { quint64(threshold_.count()) }),
            [this, generation](const QDBusMessage& reply) {
                const uint id = reply.arguments().value(0).toUInt();
                if (generation != generation_) {
                    removeWatch(id);
                    return;
                }
                idleWatch_ = id;
                // A spell already past the new threshold is not announced again by the watch.
                call(mutter(QStringLiteral("GetIdletime"), {}), [this, generation](const QDBusMessage& idle) {
                    if (generation != generation_ || idle.type() != QDBusMessage::ReplyMessage)
                        return;
                    if (idle.arguments().value(0).toULongLong() >= quint64(threshold_.count()))
                        thresholdCrossed();
                    else if (!idle_)
                        inSpell_ = false;
                });
            });
    }

    std::optional<milliseconds> idleTime() const override
    {
        QDBusMessage reply = bus_.call(mutter(QStringLiteral("GetIdletime"), {}), QDBus::Block, kCallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return std::nullopt;
        return milliseconds(reply.arguments().first().toULongLong());
    }

private slots:
    void watchFired(uint id)
    {
        if (id == 0)
            return;
        if (id == idleWatch_) {
            thresholdCrossed();
        } else if (id == activeWatch_) {
            // Mutter drops a user-active watch once it fired.
            activeWatch_ = 0;
            inSpell_ = false;
            if (idle_) {
                idle_ = false;
                emit becameActive();
            }
        }
    }

    void inhibitorRemoved() { becomeIdleUnlessInhibited(); }

private:
    QDBusMessage mutter(const QString& method, const QVariantList& arguments) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kMutterService, kMutterPath, kMutterInterface, method);
        message.setArguments(arguments);
        return message;
    }

    void call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> done)
    {
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kCallTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done = std::move(done)] {
            watcher->deleteLater();
            done(watcher->reply());
        });
    }

    void removeWatch(uint id)
    {
        if (id != 0)
            bus_.asyncCall(mutter(QStringLiteral("RemoveWatch"), { id }), kCallTimeoutMs);
    }

    void thresholdCrossed()
    {
        if (inSpell_)
            return;
        inSpell_ = true;
        if (activeWatch_ == 0 && !addingActiveWatch_) {
            addingActiveWatch_ = true;
            call(mutter(QStringLiteral("AddUserActiveWatch"), {}), [this](const QDBusMessage& reply) {
                addingActiveWatch_ = false;
                if (reply.type() == QDBusMessage::ReplyMessage)
                    activeWatch_ = reply.arguments().value(0).toUInt();
            });
        }
        becomeIdleUnlessInhibited();
    }

    // Without a session manager nothing can inhibit.
    void becomeIdleUnlessInhibited()
    {
        if (!inSpell_ || idle_)
            return;
        QDBusMessage ask = QDBusMessage::createMethodCall(
            kSessionService, kSessionPath, kSessionInterface, QStringLiteral("IsInhibited"));
        ask.setArguments({ kInhibitIdle });
        const quint64 generation = generation_;
        call(ask, [this, generation](const QDBusMessage& reply) {
            const bool inhibited = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
            if (generation != generation_ || inhibited || !inSpell_ || idle_)
                return;
            idle_ = true;
            emit becameIdle();
        });
    }

    QDBusConnection bus_;
    milliseconds threshold_ { 0 };
    quint64 generation_ = 0; // counts watch() calls, so answers to an earlier one are dropped
    uint idleWatch_ = 0;
    uint activeWatch_ = 0;
    bool addingActiveWatch_ = false;
    bool inSpell_ = false; // idle past the threshold since the last input
    bool idle_ = false; // becameIdle() was emitted for this spell
};

} // namespace

std::unique_ptr<IdleMonitor> makeGnomeIdleMonitor(const QDBusConnection& bus, QObject* parent)
{
    return std::make_unique<GnomeIdleMonitor>(bus, parent);
}

} // namespace quorvel::platform

#include "idle_monitor_gnome.moc"
