#include "app/shell/translocation.h"

#include "platform/log.h"
#include "platform/symbol_loader.h"

#include <QFile>

namespace quorvel::app {

namespace {

using platform::LogCategory;
namespace log = platform::log;

QString errorOrUnknown(const char* text)
{
    return text && *text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

} // namespace

TranslocationResult queryTranslocation(platform::SymbolLoader& loader, const QString& bundlePath)
{
    // The loader answers null both for a library it cannot open and for a missing function; either
    // way there is nothing to ask, so both take the path rule.
    auto isTranslocated
        = reinterpret_cast<IsTranslocatedFunction>(loader.load(kSecurityLibraryPath, kIsTranslocatedSymbol));
    if (!isTranslocated) {
        log::info(LogCategory::AppLocation, QStringLiteral("Translocation API unavailable; using path fallback."));
        return {};
    }

    const QByteArray path = QFile::encodeName(bundlePath);
    bool translocated = false;
    const char* errorText = nullptr;
    if (!isTranslocated(path.constData(), &translocated, &errorText)) {
        log::error(LogCategory::AppLocation,
            QStringLiteral("Translocation check failed: %1. Using path fallback.").arg(errorOrUnknown(errorText)));
        return {};
    }
    if (!translocated)
        return {};

    auto originalPath = reinterpret_cast<OriginalPathFunction>(loader.load(kSecurityLibraryPath, kOriginalPathSymbol));
    if (!originalPath) {
        log::error(LogCategory::AppLocation,
            QStringLiteral("Original-path translocation API unavailable; copying the running bundle."));
        return { true, std::nullopt };
    }
    errorText = nullptr;
    const char* original = originalPath(path.constData(), &errorText);
    if (!original || !*original) {
        log::error(LogCategory::AppLocation,
            QStringLiteral("Could not recover the app's original path: %1").arg(errorOrUnknown(errorText)));
        return { true, std::nullopt };
    }
    return { true, QFile::decodeName(original) };
}

} // namespace quorvel::app
