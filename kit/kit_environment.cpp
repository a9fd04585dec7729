#include "kit/kit_environment.h"

#include <cstdio>

namespace quorvel::kit {

std::function<void(const QString&)> KitEnvironment::standardOutput()
{
    return [](const QString& line) {
        std::fputs(line.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
}

} // namespace quorvel::kit
