#pragma once
// One run of a screensaver module: a view controller and a view per target, started when shown,
// stopped and torn down in the module contract's order.

#include "saver_module/saver_module.h"

#include <QList>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QString>

#include <memory>
#include <vector>

class QWidget;

namespace quorvel::saver {

// Where one view goes: a screen, the preview window, or a foreign window.
struct SaverTarget {
    QRect frame; // global coordinates
    bool isPreview = false;
    QString screenName; // the screen it covers, empty when not a screen
    // The same screen itself: names are not unique (the screens of one X display may all be
    // called "screen"), so a stage that has it places the view by it.
    QPointer<QScreen> screen {};
};

// Puts views on the display. The session owns nothing of what the stage builds around a view.
class Stage {
public:
    virtual ~Stage() = default;
    // Shows `view` for `target`; false when it could not be shown (the view is then left out).
    virtual bool present(QWidget* view, const SaverTarget& target) = 0;
    // Takes `view` off the display before its controller destroys it.
    virtual void withdraw(QWidget* view) = 0;
};

class SaverSession {
public:
    // The principal must outlive nothing of the session: the session owns it and destroys it last.
    SaverSession(std::unique_ptr<SaverPrincipal> principal, Stage& stage);
    ~SaverSession();
    SaverSession(const SaverSession&) = delete;
    SaverSession& operator=(const SaverSession&) = delete;

    // Makes, shows and starts one view per target. A target whose controller or view fails (null,
    // or an exception) is logged and skipped; the others still run. Returns the number running.
    int start(const QList<SaverTarget>& targets);
    // stopAnimation on every view, then the controllers are destroyed, then the principal.
    // Idempotent; also run by the destructor.
    void stop();
    // Stops and tears down the views of one screen (it was unplugged); the others go on.
    // Returns how many were removed.
    int stopScreen(const QString& screenName);

    // The module's principal; null once stopped.
    SaverPrincipal* principal() const { return principal_.get(); }
    int runningCount() const { return int(views_.size()); }
    bool isStopped() const { return stopped_; }
    // The views that are on the display, in target order.
    QList<QWidget*> views() const;

private:
    struct RunningView {
        std::unique_ptr<SaverViewController> controller;
        QWidget* view = nullptr;
        SaverTarget target;
    };

    bool startOne(const SaverTarget& target);
    void tearDown(RunningView& running);

    std::unique_ptr<SaverPrincipal> principal_;
    Stage& stage_;
    std::vector<RunningView> views_;
    bool stopped_ = false;
};

} // namespace quorvel::saver
