#pragma once
// The screensaver view controller: one player view per requested frame.

#include "extension/extension_environment.h"
#include "extension/quorvel_view.h"
#include "saver_module/saver_module.h"

#include <QPointer>
#include <QWidget>

namespace quorvel::extension {

class QuorvelViewController final : public saver::SaverViewController {
public:
    explicit QuorvelViewController(std::shared_ptr<ExtensionEnvironment> environment);
    ~QuorvelViewController() override;

    // A player view for `frame`; a plain empty widget of that size when no player can be made.
    QWidget* loadView(const QRect& frame, bool isPreview) override;
    // loadView for the primary screen's frame (1920 × 1080 without one), not a preview.
    QWidget* loadView();
    QWidget* view() const override { return view_; }
    void startAnimation() override;
    void stopAnimation() override;

    QuorvelView* saverView() const { return saverView_; }

private:
    std::shared_ptr<ExtensionEnvironment> environment_;
    QPointer<QWidget> view_;
    QPointer<QuorvelView> saverView_;
};

} // namespace quorvel::extension
