#pragma once
// The module's principal object and the plug-in that quorvel-saver loads.

#include "extension/extension_environment.h"
#include "host/saver_module.h"

#include <QObject>

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

class QuorvelExtensionModule final : public QObject, public saver::SaverModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QuorvelSaverModule_iid)
    Q_INTERFACES(quorvel::saver::SaverModule)
public:
    int interfaceVersion() const override { return kInterfaceVersion; }
    // Builds the real environment of this platform for the principal.
    std::unique_ptr<saver::SaverPrincipal> makePrincipal() override;
};

// The sample clip inside the bundle that holds `libraryPath` (Contents/MacOS/<lib> ->
// Contents/Resources/QuorvelSample.mp4).
QUrl sampleClipURLForLibrary(const QString& libraryPath);

} // namespace quorvel::extension
