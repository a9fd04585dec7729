#include "platform/linux/idle_monitors.h"

#include <QDBusConnectionInterface>

#include <algorithm>

namespace quorvel::platform {
namespace {

bool namesGnome(const QString& currentDesktop)
{
    const QStringList desktops = currentDesktop.split(u':', Qt::SkipEmptyParts);
    return std::any_of(desktops.begin(), desktops.end(),
        [](const QString& desktop) { return desktop.compare(u"GNOME", Qt::CaseInsensitive) == 0; });
}

} // namespace

SessionFacts SessionFacts::fromEnvironment()
{
    SessionFacts facts;
    facts.currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    facts.wayland
        = qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland" || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    facts.x11Display = qEnvironmentVariable("DISPLAY");
    return facts;
}

std::unique_ptr<IdleMonitor> makeIdleMonitorFor(const SessionFacts& facts, const QDBusConnection& bus, QObject* parent)
{
    if (namesGnome(facts.currentDesktop) && bus.isConnected() && bus.interface()
        && bus.interface()->isServiceRegistered(QStringLiteral("org.gnome.Mutter.IdleMonitor")))
        return makeGnomeIdleMonitor(bus, parent);
    // Under Wayland the X display is the compositor's X bridge, whose server sees only the input
    // that goes to X clients: its idle time would grow while the user types into any other window.
    if (!facts.wayland && !facts.x11Display.isEmpty()) {
        std::unique_ptr<IdleMonitor> x11 = makeX11IdleMonitor(facts.x11Display, parent);
        if (x11->isAvailable())
            return x11;
        return makeUnavailableIdleMonitor(x11->unavailableReason(), parent);
    }
    return makeUnavailableIdleMonitor(QString::fromLatin1(idle_reason::kNoDesktopSupport), parent);
}

std::unique_ptr<IdleMonitor> makeSessionIdleMonitor(QObject* parent)
{
    return makeIdleMonitorFor(SessionFacts::fromEnvironment(), QDBusConnection::sessionBus(), parent);
}

} // namespace quorvel::platform
