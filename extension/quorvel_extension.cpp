#include "extension/quorvel_extension.h"

#include "extension/quorvel_configuration_view_controller.h"
#include "extension/quorvel_view_controller.h"
#include "platform/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quorvel::extension {

using platform::LogCategory;

QuorvelExtension::QuorvelExtension(std::shared_ptr<ExtensionEnvironment> environment)
    : environment_(std::move(environment))
{
    platform::log::info(LogCategory::Extension,
        QStringLiteral("QuorvelExtension.init() PID=%1").arg(QCoreApplication::applicationPid()));
}

QuorvelExtension::~QuorvelExtension()
{
    platform::log::info(LogCategory::Extension, QStringLiteral("QuorvelExtension.deinit"));
}

std::unique_ptr<saver::SaverViewController> QuorvelExtension::makeViewController()
{
    return std::make_unique<QuorvelViewController>(environment_);
}

std::unique_ptr<saver::SaverConfigurationController> QuorvelExtension::makeConfigurationController()
{
    return std::make_unique<QuorvelConfigurationViewController>(environment_->preferences);
}

QUrl sampleClipURLForLibrary(const QString& libraryPath)
{
    const QDir contents = QFileInfo(libraryPath).absoluteDir().filePath(QStringLiteral(".."));
    return QUrl::fromLocalFile(QDir::cleanPath(contents.filePath(QStringLiteral("Resources/QuorvelSample.mp4"))));
}

} // namespace quorvel::extension
