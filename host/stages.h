#pragma once
// The three ways the host puts a module's views on the display.

#include "host/saver_session.h"

#include <QList>
#include <QPointer>

class QScreen;
class QWindow;

namespace quorvel::saver {

// One target per connected screen, the primary first.
QList<SaverTarget> screenTargets();
// The target covering `screen`.
SaverTarget screenTarget(const QScreen* screen);

// Each view becomes a frameless, full-screen, top-most window on its screen, with no cursor.
class FullScreenStage final : public Stage {
public:
    bool present(QWidget* view, const SaverTarget& target) override;
    void withdraw(QWidget* view) override;
};

// Views fill a container widget (the preview window, the settings pane's preview).
class ContainerStage final : public Stage {
public:
    explicit ContainerStage(QWidget* container);
    bool present(QWidget* view, const SaverTarget& target) override;
    void withdraw(QWidget* view) override;
    // The frame a view gets: the container's rectangle in global coordinates.
    SaverTarget target() const;

private:
    QPointer<QWidget> container_;
};

// The view's native window becomes a child of a window another process owns (the convention of
// the desktop's screensaver daemons: XSCREENSAVER_WINDOW).
class ForeignWindowStage final : public Stage {
public:
    // `foreign` is the wrapped window and `frame` its geometry; the stage does not own the window.
    ForeignWindowStage(QWindow* foreign, const QRect& frame);
    bool present(QWidget* view, const SaverTarget& target) override;
    void withdraw(QWidget* view) override;
    // The whole foreign window; an empty frame when the window does not exist.
    SaverTarget target() const;

private:
    QWindow* foreign_;
    QRect frame_;
};

} // namespace quorvel::saver
