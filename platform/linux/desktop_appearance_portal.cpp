#include "platform/desktop_appearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

#include <functional>

namespace quorvel::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
// Start-up waits at most this long for a portal that is slow to answer.
constexpr int kCallTimeoutMs = 700;

// The reply nests the value in one or two variants depending on the portal's version.
uint unwrap(QVariant value)
{
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    return value.toUInt();
}

// Receives the portal's change signal, which only the string-based connect can reach.
class PortalListener final : public QObject {
    Q_OBJECT
public:
    PortalListener(std::function<void(uint)> changed, QObject* parent)
        : QObject(parent)
        , changed_(std::move(changed))
    {
    }

public slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
    {
        if (group == kGroup && key == kKey)
            changed_(unwrap(value.variant()));
    }

private:
    std::function<void(uint)> changed_;
};

} // namespace

PortalDesktopAppearance::PortalDesktopAppearance(QObject* parent)
    : DesktopAppearance(parent)
{
    const QString forced = qEnvironmentVariable("QUORVEL_COLOR_SCHEME");
    if (forced == QLatin1String("dark") || forced == QLatin1String("light")) {
        scheme_ = forced == QLatin1String("dark") ? ColorScheme::dark : ColorScheme::light;
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
    call << kGroup << kKey;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        scheme_ = fromPortalValue(unwrap(reply.arguments().constFirst()));
    auto* listener = new PortalListener([this](uint value) { portalChanged(value); }, this);
    bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), listener,
        SLOT(settingChanged(QString, QString, QDBusVariant)));
}

ColorScheme PortalDesktopAppearance::fromPortalValue(uint value)
{
    switch (value) {
    case 1:
        return ColorScheme::dark;
    case 2:
        return ColorScheme::light;
    default:
        return ColorScheme::noPreference;
    }
}

void PortalDesktopAppearance::portalChanged(uint value)
{
    const ColorScheme scheme = fromPortalValue(value);
    if (scheme == scheme_)
        return;
    scheme_ = scheme;
    emit colorSchemeChanged(scheme);
}

} // namespace quorvel::platform

#include "desktop_appearance_portal.moc"
