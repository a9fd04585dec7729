#pragma once
// The desktop's light or dark preference.

#include <QObject>

namespace quorvel::platform {

enum class ColorScheme { noPreference, dark, light };

class DesktopAppearance : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual ColorScheme colorScheme() const = 0;

signals:
    void colorSchemeChanged(quorvel::platform::ColorScheme scheme);
};

// Asks the freedesktop settings portal ("org.freedesktop.appearance" "color-scheme") and follows
// its changes; $QUORVEL_COLOR_SCHEME ("dark" or "light") overrides it. Without a session bus or a
// portal the answer is noPreference, quickly.
class PortalDesktopAppearance final : public DesktopAppearance {
    Q_OBJECT
public:
    explicit PortalDesktopAppearance(QObject* parent = nullptr);
    ColorScheme colorScheme() const override { return scheme_; }

    // The portal's number: 1 prefers dark, 2 prefers light, anything else no preference.
    static ColorScheme fromPortalValue(uint value);

private:
    void portalChanged(uint value);

    ColorScheme scheme_ = ColorScheme::noPreference;
};

} // namespace quorvel::platform
