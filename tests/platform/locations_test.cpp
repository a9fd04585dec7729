#include "platform/locations.h"
#include "support/environment_guard.h"

#include <gtest/gtest.h>

#include <QtGlobal>

namespace {

using quorvel::testing::EnvironmentGuard;

TEST(Locations, EnvironmentOverridesBaseUrlsAndNormalisesTheirSlashes)
{
    EnvironmentGuard service("QUORVEL_SERVICE_URL"), cdn("QUORVEL_CDN_URL");
    qputenv("QUORVEL_SERVICE_URL", "http://127.0.0.1:4040/");
    qputenv("QUORVEL_CDN_URL", "http://127.0.0.1:4040/cdn");
    EXPECT_EQ(quorvel::platform::serviceBaseUrl(), "http://127.0.0.1:4040");
    EXPECT_EQ(quorvel::platform::cdnBaseUrl(), "http://127.0.0.1:4040/cdn/");
    EXPECT_EQ(quorvel::platform::appcastUrl(), "http://127.0.0.1:4040/appcast.xml");
}

TEST(Locations, BuildDefaultsApplyWithoutOverrides)
{
    EnvironmentGuard service("QUORVEL_SERVICE_URL"), cdn("QUORVEL_CDN_URL");
    qunsetenv("QUORVEL_SERVICE_URL");
    qunsetenv("QUORVEL_CDN_URL");
    EXPECT_TRUE(quorvel::platform::serviceBaseUrl().startsWith("http"));
    EXPECT_FALSE(quorvel::platform::serviceBaseUrl().endsWith('/'));
    EXPECT_TRUE(quorvel::platform::cdnBaseUrl().endsWith('/'));
}

} // namespace
