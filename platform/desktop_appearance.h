#pragma once
// The desktop's light or dark preference and its wish for reduced motion.

#include <QObject>
#include <QString>

namespace quorvel::platform {

enum class ColorScheme { noPreference, dark, light };

class DesktopAppearance : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual ColorScheme colorScheme() const = 0;
    // The desktop asks for reduced motion (its animations are turned off); false until it says so.
    virtual bool reduceMotion() const = 0;

signals:
    void colorSchemeChanged(quorvel::platform::ColorScheme scheme);
    void reduceMotionChanged(bool reduce);
};

// Asks the freedesktop settings portal ("org.freedesktop.appearance" "color-scheme", and
// "org.gnome.desktop.interface" "enable-animations") and follows their changes. The colour scheme is
// awaited briefly at creation so the first window is drawn right; reduced motion arrives later,
// without blocking. $QUORVEL_COLOR_SCHEME ("dark" or "light") and $QUORVEL_REDUCE_MOTION ("1" or
// "0") override them. Without a bus or a portal the answers are noPreference and false, quickly.
class PortalDesktopAppearance final : public DesktopAppearance {
    Q_OBJECT
public:
    // On the session bus, or on the bus at `busAddress` when one is given.
    explicit PortalDesktopAppearance(QObject* parent = nullptr, const QString& busAddress = {});
    ColorScheme colorScheme() const override { return scheme_; }
    bool reduceMotion() const override { return reduceMotion_; }

    // The portal's number: 1 prefers dark, 2 prefers light, anything else no preference.
    static ColorScheme fromPortalValue(uint value);

private:
    void portalChanged(uint value);
    void animationsChanged(bool enabled);

    ColorScheme scheme_ = ColorScheme::noPreference;
    bool reduceMotion_ = false;
    bool motionForced_ = false;
};

} // namespace quorvel::platform
