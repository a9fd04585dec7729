#include "extension/quorvel_configuration_view_controller.h"

#include "extension/settings.h"
#include "platform/log.h"

#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace quorvel::extension {

using platform::LogCategory;

QuorvelConfigurationViewController::QuorvelConfigurationViewController(
    std::shared_ptr<platform::Preferences> preferences)
    : preferences_(std::move(preferences))
{
    platform::log::info(LogCategory::Configuration, QStringLiteral("init(nibName:bundle:)"));
}

QuorvelConfigurationViewController::~QuorvelConfigurationViewController()
{
    delete view_.data();
}

QWidget* QuorvelConfigurationViewController::loadView(std::function<void()> dismiss)
{
    platform::log::info(LogCategory::Configuration, QStringLiteral("loadView()"));
    dismiss_ = std::move(dismiss);
    delete view_.data();

    auto* container = new QWidget;
    container->setFixedSize(300, 140);

    auto* label = new QLabel(QStringLiteral("Volume"), container);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    label->setFont(font);

    auto* slider = new QSlider(Qt::Horizontal, container);
    slider->setRange(0, kSliderSteps);
    const double volume = preferences_ ? settings::storedVolume(*preferences_) : settings::kDefaultVolume;
    slider->setValue(static_cast<int>(std::lround(volume * kSliderSteps)));

    auto* button = new QPushButton(QStringLiteral("OK"), container);
    button->setDefault(true);
    button->setMinimumWidth(80);

    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(24, 24, 24, 20);
    layout->setSpacing(8);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addWidget(slider);
    layout->addStretch(1);
    layout->addWidget(button, 0, Qt::AlignHCenter);

    view_ = container;
    slider_ = slider;
    QObject::connect(slider, &QSlider::valueChanged, container, [this] { volumeChanged(); });
    QObject::connect(button, &QPushButton::clicked, container, [this] { dismissSheet(); });
    // Return acts like "OK" whether or not the host puts the sheet into a dialog.
    for (const auto key : { Qt::Key_Return, Qt::Key_Enter }) {
        auto* shortcut = new QShortcut(QKeySequence(key), container);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    }
    return container;
}

void QuorvelConfigurationViewController::volumeChanged()
{
    if (!slider_ || !preferences_)
        return;
    settings::setStoredVolume(*preferences_, static_cast<double>(slider_->value()) / kSliderSteps);
}

void QuorvelConfigurationViewController::dismissSheet()
{
    // The host's dialog is no sheet of a parent window here: its dismiss callback is the request's
    // completion, and the sheet closes itself afterwards.
    platform::log::info(
        LogCategory::Configuration, QStringLiteral("dismissSheet, sheetParent=0 extCtx=%1").arg(dismiss_ ? 1 : 0));
    if (dismiss_) {
        dismiss_();
        platform::log::info(LogCategory::Configuration, QStringLiteral("completeRequest called"));
    }
    if (view_)
        view_->close();
}

} // namespace quorvel::extension
