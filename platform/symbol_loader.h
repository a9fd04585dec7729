#pragma once
// Looks up functions in system libraries at run time.

#include <QString>

namespace quorvel::platform {

class SymbolLoader {
public:
    virtual ~SymbolLoader() = default;
    // The address of `symbol` in the library at `libraryPath`; null when either is unavailable.
    virtual void* load(const QString& libraryPath, const char* symbol) = 0;
};

class DynamicSymbolLoader final : public SymbolLoader {
public:
    void* load(const QString& libraryPath, const char* symbol) override;
};

} // namespace quorvel::platform
