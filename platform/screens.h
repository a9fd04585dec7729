#pragma once
// Connected screens as the window system reports them.

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace quorvel::platform {

struct ScreenDescription {
    quint32 displayNumber = 0; // stable, non-zero
    QString uuid; // upper-case, stable across runs for the same monitor
    QRectF frame; // global coordinates, logical pixels
    QSizeF pixelSize; // physical pixels
    bool isMain = false;
    double backingScale = 1.0;
    int refreshRate = 0; // Hz, rounded
    QString localizedName;
};

class Screens {
public:
    virtual ~Screens() = default;
    // The main screen first when there is one.
    virtual QList<ScreenDescription> screens() const = 0;
};

// Reads QGuiApplication's screens; needs a QGuiApplication. Display numbers and UUIDs are
// name-based over manufacturer, model, serial number and name.
class QtScreens final : public Screens {
public:
    QList<ScreenDescription> screens() const override;
};

} // namespace quorvel::platform
