// The token's round trip through the desktop's real secret store (the session keyring that the
// test runner unlocks), the way the app keeps it.
#include "app/service/auth_store.h"
#include "fakes.h"
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
    app::ServiceConfig config;
    config.baseUrl = QStringLiteral("http://127.0.0.1:9");
    app::AuthStore auth(session, keychain, identity, system, config);

    await(auth.deleteToken());
    EXPECT_EQ(await(auth.readToken()), std::nullopt);

    ASSERT_TRUE(await(auth.storeToken(QStringLiteral("first-token"))))
        << "no Secret Service on this session bus; run the tests through scripts/test";
    EXPECT_EQ(await(auth.readToken()), QStringLiteral("first-token"));

    // Delete-then-add replaces the item instead of failing as a duplicate.
    ASSERT_TRUE(await(auth.storeToken(QStringLiteral("second-t\u00f6ken"))));
    EXPECT_EQ(await(auth.readToken()), QStringLiteral("second-t\u00f6ken"));

    const platform::SecretReadResult raw
        = await(keychain.read(app::AuthStore::tokenService, app::AuthStore::tokenAccount));
    EXPECT_EQ(raw.status, platform::secret_status::success);
    EXPECT_EQ(raw.data, QStringLiteral("second-t\u00f6ken").toUtf8());

    await(auth.deleteToken());
    EXPECT_EQ(await(auth.readToken()), std::nullopt);
    EXPECT_EQ(await(keychain.read(app::AuthStore::tokenService, app::AuthStore::tokenAccount)).status,
        platform::secret_status::itemNotFound);
}

} // namespace
} // namespace quorvel::testing
