#pragma once
// Whether the display is switched on: a screensaver has nothing to show into a dark screen.

#include <QObject>

#include <memory>

namespace quorvel::platform {

class DisplayPower : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isDisplayOn() const = 0;

signals:
    void displayPowerChanged(bool on);
};

// The X server's display power (DPMS) where there is one; elsewhere a display that is always on.
std::unique_ptr<DisplayPower> makeDisplayPower(QObject* parent = nullptr);

} // namespace quorvel::platform
