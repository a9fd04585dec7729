#include "platform/module_location.h"

#include <QFileInfo>

#include <dlfcn.h>

namespace quorvel::platform {

QString moduleFilePath(const void* address)
{
    Dl_info info {};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
}

} // namespace quorvel::platform
