#pragma once
// Whether the system runs the app from a randomised read-only copy of where it was downloaded,
// and where that original is. The functions are looked up at run time; a system without them
// simply is never translocated.

#include <QString>

#include <optional>

namespace quorvel::platform {
class SymbolLoader;
}

namespace quorvel::app {

inline const QString kSecurityLibraryPath = QStringLiteral("/System/Library/Frameworks/Security.framework/Security");
inline constexpr const char* kIsTranslocatedSymbol = "SecTranslocateIsTranslocatedURL";
inline constexpr const char* kOriginalPathSymbol = "SecTranslocateCreateOriginalPathForURL";

extern "C" {
// True when the query ran; then `*translocated` holds the answer. On failure `*errorText` may
// point at a description owned by the library.
using IsTranslocatedFunction = bool (*)(const char* bundlePath, bool* translocated, const char** errorText);
// The original location of a translocated bundle (owned by the library), or null with `*errorText`
// possibly set.
using OriginalPathFunction = const char* (*)(const char* bundlePath, const char** errorText);
}

struct TranslocationResult {
    bool isTranslocated = false;
    std::optional<QString> originalPath;
};

// Never fails: anything the system cannot answer counts as not translocated (logged).
TranslocationResult queryTranslocation(platform::SymbolLoader& loader, const QString& bundlePath);

} // namespace quorvel::app
