#pragma once
// The module's principal object.

#include "extension/extension_environment.h"
#include "saver_module/saver_module.h"

namespace quorvel::extension {

// Holds the process-wide objects and hands them to every controller it makes.
class QuorvelExtension final : public saver::SaverPrincipal {
public:
    explicit QuorvelExtension(std::shared_ptr<ExtensionEnvironment> environment);
    ~QuorvelExtension() override;
    std::unique_ptr<saver::SaverViewController> makeViewController() override;
    std::unique_ptr<saver::SaverConfigurationController> makeConfigurationController() override;

private:
    std::shared_ptr<ExtensionEnvironment> environment_;
};

// The sample clip inside the bundle that holds `libraryPath` (Contents/MacOS/<lib> ->
// Contents/Resources/QuorvelSample.mp4).
QUrl sampleClipURLForLibrary(const QString& libraryPath);

} // namespace quorvel::extension
