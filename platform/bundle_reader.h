#pragma once
// Application bundles on disk: "<bundle>/Contents/Info.plist", "Contents/MacOS/<executable>".

#include "platform/operating_system.h"

namespace quorvel::platform::detail {

// None when the bundle has no readable Info.plist or it does not parse. Missing keys leave
// their fields empty (or none).
std::optional<BundleInfo> readBundle(const QString& bundlePath);

// ".../X.app" for an executable at ".../X.app/Contents/MacOS/exe"; none otherwise.
std::optional<QString> bundlePathForExecutable(const QString& executablePath);

} // namespace quorvel::platform::detail
