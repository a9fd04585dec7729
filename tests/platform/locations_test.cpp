#include "platform/locations.h"
#include "support/environment_guard.h"

#include <gtest/gtest.h>

namespace {

TEST(Locations, EnvironmentOverridesBaseUrlsAndNormalisesTheirSlashes)
{
    quorvel::testing::EnvironmentGuard service("QUORVEL_SERVICE_URL"), cdn("QUORVEL_CDN_URL");
    qputenv("QUORVEL_SERVICE_URL", "http://127.0.0.1:4040/");
    qputenv("QUORVEL_CDN_URL", "http://127.0.0.1:4040/cdn");
    EXPECT_EQ(quorvel::platform::serviceBaseUrl(), "http://127.0.0.1:4040");
    EXPECT_EQ(quorvel::platform::cdnBaseUrl(), "http://127.0.0.1:4040/cdn/");
    EXPECT_EQ(quorvel::platform::appcastUrl(), "http://127.0.0.1:4040/appcast.xml");
    qunsetenv("QUORVEL_SERVICE_URL");
    qunsetenv("QUORVEL_CDN_URL");
    EXPECT_TRUE(quorvel::platform::serviceBaseUrl().startsWith("http"));
    EXPECT_FALSE(quorvel::platform::serviceBaseUrl().endsWith('/'));
    EXPECT_TRUE(quorvel::platform::cdnBaseUrl().endsWith('/'));
}

} // namespace
