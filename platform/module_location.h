#pragma once
// Where the loaded library that contains a given address lives (a plug-in finding its own bundle).

#include <QString>

namespace quorvel::platform {

// Absolute path of the shared object containing `address`; empty when it cannot be found.
QString moduleFilePath(const void* address);

} // namespace quorvel::platform
