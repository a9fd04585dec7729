#include "platform/symbol_loader.h"

#include <QFile>

#include <dlfcn.h>

namespace quorvel::platform {

void* DynamicSymbolLoader::load(const QString& libraryPath, const char* symbol)
{
    // An empty name would hand back the running program itself.
    if (libraryPath.isEmpty() || !symbol || !*symbol)
        return nullptr;
    void* library = dlopen(QFile::encodeName(libraryPath).constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return nullptr;
    void* address = dlsym(library, symbol);
    // The library stays loaded while an address from it may be called; it is never unloaded.
    if (!address)
        dlclose(library);
    return address;
}

} // namespace quorvel::platform
