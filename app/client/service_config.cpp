#include "app/client/service_config.h"

#include "platform/locations.h"

namespace quorvel::app {

ServiceConfig ServiceConfig::fromPlatform()
{
    ServiceConfig config;
    config.baseUrl = platform::serviceBaseUrl();
    return config;
}

} // namespace quorvel::app
