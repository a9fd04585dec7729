#pragma once
// Whether a native window lies wholly under others: the toolkit still counts such a window as
// exposed, yet nothing of it reaches the eye.

#include <QByteArray>
#include <QObject>

#include <memory>

namespace quorvel::platform {

class WindowObscurity : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isFullyObscured() const = 0;

signals:
    void fullyObscuredChanged(bool obscured);
};

// Follows `windowId` of this application's windows on its X server; on any other display a window
// that is never obscured.
std::unique_ptr<WindowObscurity> watchWindowObscurity(quint64 windowId, QObject* parent = nullptr);
// The same for a window of the X server at `display` (":N"), through a connection of its own.
std::unique_ptr<WindowObscurity> watchX11WindowObscurity(
    const QByteArray& display, quint32 windowId, QObject* parent = nullptr);

} // namespace quorvel::platform
