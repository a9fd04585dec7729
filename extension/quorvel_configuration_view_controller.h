#pragma once
// The configuration sheet: one volume slider and an OK button.

#include "extension/extension_environment.h"
#include "saver_module/saver_module.h"

#include <QPointer>
#include <QWidget>

#include <QSlider>

namespace quorvel::extension {

class QuorvelConfigurationViewController final : public saver::SaverConfigurationController {
public:
    // Slider steps between 0 and 1.
    static constexpr int kSliderSteps = 1000;

    explicit QuorvelConfigurationViewController(std::shared_ptr<platform::Preferences> preferences);
    ~QuorvelConfigurationViewController() override;

    // A 300 × 140 sheet; `dismiss` closes it (the host's dialog).
    QWidget* loadView(std::function<void()> dismiss) override;
    QWidget* view() const { return view_; }
    QSlider* slider() const { return slider_; }

    // Stores the slider's value as "volume".
    void volumeChanged();
    void dismissSheet();

private:
    std::shared_ptr<platform::Preferences> preferences_;
    std::function<void()> dismiss_;
    QPointer<QWidget> view_;
    QPointer<QSlider> slider_;
};

} // namespace quorvel::extension
