#pragma once
// The plug-in that quorvel-saver loads: it builds the real environment of this platform.

#include "extension/quorvel_extension.h"

#include <QObject>

namespace quorvel::extension {

class QuorvelExtensionModule final : public QObject, public saver::SaverModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QuorvelSaverModule_iid)
    Q_INTERFACES(quorvel::saver::SaverModule)
public:
    int interfaceVersion() const override { return kInterfaceVersion; }
    // Builds the real environment of this platform for the principal.
    std::unique_ptr<saver::SaverPrincipal> makePrincipal() override;
};

} // namespace quorvel::extension
