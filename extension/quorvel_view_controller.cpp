#include "extension/quorvel_view_controller.h"

#include "extension/quorvel_view.h"
#include "platform/log.h"

#include <QGuiApplication>
#include <QScreen>

namespace quorvel::extension {

using platform::LogCategory;

QuorvelViewController::QuorvelViewController(std::shared_ptr<ExtensionEnvironment> environment)
    : environment_(std::move(environment))
{
    platform::log::info(LogCategory::ViewController, QStringLiteral("init(nibName:bundle:)"));
}

QuorvelViewController::~QuorvelViewController()
{
    platform::log::info(LogCategory::ViewController, QStringLiteral("deinit"));
    delete view_.data();
}

QWidget* QuorvelViewController::loadView()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return loadView(screen ? screen->geometry() : QRect(0, 0, 1920, 1080), false);
}

QWidget* QuorvelViewController::loadView(const QRect& frame, bool isPreview)
{
    platform::log::info(LogCategory::ViewController,
        QString::asprintf("loadView(forFrame: %fx%f, isPreview: %d)", double(frame.width()), double(frame.height()),
            isPreview ? 1 : 0));
    delete view_.data();
    std::unique_ptr<platform::MediaPlayer> player = environment_->makePlayer ? environment_->makePlayer() : nullptr;
    if (player) {
        auto storage = std::make_shared<PreferenceRetentionStorage>(
            environment_->preferences ? environment_->preferences->standard() : nullptr);
        saverView_ = new QuorvelView(environment_, std::move(player), std::move(storage), frame, isPreview);
        view_ = saverView_.data();
    } else {
        saverView_ = nullptr;
        view_ = new QWidget;
        view_->resize(frame.size());
    }
    return view_;
}

void QuorvelViewController::startAnimation()
{
    if (saverView_)
        saverView_->startAnimation();
}

void QuorvelViewController::stopAnimation()
{
    if (saverView_)
        saverView_->stopAnimation();
}

} // namespace quorvel::extension
