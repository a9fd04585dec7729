// The token's round trip through the desktop's real secret store (the session keyring that the
// test runner unlocks), the way the app keeps it.
#include "app/client/auth_store.h"
#include "fixture.h"
#include "platform/secret_store.h"
#include "support/coro.h"

#include <QNetworkAccessManager>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

TEST(KeychainToken, StoreReplaceReadAndDeleteThroughTheSessionKeyring)
{
    platform::KeychainSecretStore keychain;
    QNetworkAccessManager session;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    app::AuthStore auth(session, keychain, identity, system, app::ServiceConfig { "http://127.0.0.1:9" });

    await(auth.deleteToken());
    ASSERT_TRUE(await(auth.storeToken("first-token")))
        << "no Secret Service on this session bus; run the tests through scripts/test";
    // Delete-then-add replaces the item instead of failing as a duplicate.
    ASSERT_TRUE(await(auth.storeToken(QStringLiteral("second-t\u00f6ken"))));
    EXPECT_EQ(await(auth.readToken()), QStringLiteral("second-t\u00f6ken"));
    await(auth.deleteToken());
    EXPECT_EQ(await(auth.readToken()), std::nullopt);
    EXPECT_EQ(await(keychain.read(app::AuthStore::tokenService, app::AuthStore::tokenAccount)).status,
        platform::secret_status::itemNotFound);
}

} // namespace
} // namespace quorvel::testing
