#include "platform/desktop_appearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

#include <functional>

namespace quorvel::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString kSchemeKey = QStringLiteral("color-scheme");
const QString kInterfaceGroup = QStringLiteral("org.gnome.desktop.interface");
const QString kAnimationsKey = QStringLiteral("enable-animations");
// Start-up waits at most this long for a portal that is slow to answer.
constexpr int kCallTimeoutMs = 700;

// The reply nests the value in one or two variants depending on the portal's version.
QVariant unwrap(QVariant value)
{
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    return value;
}

QDBusConnection busAt(const QString& address)
{
    if (address.isEmpty())
        return QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(address, QStringLiteral("quorvel-appearance-") + address);
}

QDBusMessage readCall(const QString& group, const QString& key)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
    call << group << key;
    return call;
}

// Receives the portal's change signal, which only the string-based connect can reach.
class PortalListener final : public QObject {
    Q_OBJECT
public:
    using Changed = std::function<void(const QString& group, const QString& key, const QVariant& value)>;
    PortalListener(Changed changed, QObject* parent)
        : QObject(parent)
        , changed_(std::move(changed))
    {
    }

public slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
    {
        changed_(group, key, unwrap(value.variant()));
    }

private:
    Changed changed_;
};

} // namespace

PortalDesktopAppearance::PortalDesktopAppearance(QObject* parent, const QString& busAddress)
    : DesktopAppearance(parent)
{
    const QString forcedScheme = qEnvironmentVariable("QUORVEL_COLOR_SCHEME");
    const bool schemeForced = forcedScheme == QLatin1String("dark") || forcedScheme == QLatin1String("light");
    if (schemeForced)
        scheme_ = forcedScheme == QLatin1String("dark") ? ColorScheme::dark : ColorScheme::light;
    const QByteArray forcedMotion = qgetenv("QUORVEL_REDUCE_MOTION");
    motionForced_ = forcedMotion == "1" || forcedMotion == "0";
    reduceMotion_ = forcedMotion == "1";
    if (schemeForced && motionForced_)
        return;

    QDBusConnection bus = busAt(busAddress);
    if (!bus.isConnected())
        return;
    if (!schemeForced) {
        const QDBusMessage reply = bus.call(readCall(kAppearanceGroup, kSchemeKey), QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            scheme_ = fromPortalValue(unwrap(reply.arguments().constFirst()).toUInt());
    }
    if (!motionForced_) {
        // Nothing waits for this answer: a diagram may move for a moment before it stands still.
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(readCall(kInterfaceGroup, kAnimationsKey)), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusMessage reply = call->reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                return;
            const QVariant value = unwrap(reply.arguments().constFirst());
            if (value.typeId() == QMetaType::Bool)
                animationsChanged(value.toBool());
        });
    }
    auto* listener = new PortalListener(
        [this, schemeForced](const QString& group, const QString& key, const QVariant& value) {
            if (!schemeForced && group == kAppearanceGroup && key == kSchemeKey)
                portalChanged(value.toUInt());
            else if (!motionForced_ && group == kInterfaceGroup && key == kAnimationsKey
                && value.typeId() == QMetaType::Bool)
                animationsChanged(value.toBool());
        },
        this);
    // The string-based connect finds the slot's argument type by its name, known once registered.
    qRegisterMetaType<QDBusVariant>();
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

void PortalDesktopAppearance::animationsChanged(bool enabled)
{
    if (enabled != reduceMotion_)
        return;
    reduceMotion_ = !enabled;
    emit reduceMotionChanged(reduceMotion_);
}

} // namespace quorvel::platform

#include "desktop_appearance_portal.moc"
