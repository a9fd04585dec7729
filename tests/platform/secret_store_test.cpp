#include "platform/secret_store.h"
#include "support/coro.h"
#include "support/memory_secret_store.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QUuid>

namespace {

using namespace quorvel::platform;
using quorvel::testing::await;

// The sequence every secret store must answer alike: the in-memory double that the logic tests use,
// and the real Secret Service of the test session (scripts/test unlocks one).
void expectDeleteThenAddSemantics(SecretStore& store)
{
    const QString service = QStringLiteral("com.quorvel.test.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString account = QStringLiteral("developer");
    const QByteArray secret("tok\0en\xff", 7); // binary, with a NUL and a non-UTF-8 byte

    EXPECT_EQ(await(store.read(service, account)).status, secret_status::itemNotFound);
    EXPECT_EQ(await(store.remove(service, account)), secret_status::itemNotFound);
    ASSERT_EQ(await(store.add(service, account, secret)), secret_status::success);

    EXPECT_EQ(await(store.add(service, account, "other")), secret_status::duplicateItem);
    const SecretReadResult read = await(store.read(service, account));
    EXPECT_EQ(read.status, secret_status::success);
    EXPECT_EQ(read.data, secret); // intact, and the refused add changed nothing

    EXPECT_EQ(await(store.remove(service, account)), secret_status::success);
    EXPECT_EQ(await(store.add(service, account, "replaced")), secret_status::success);
    EXPECT_EQ(await(store.read(service, account)).data, "replaced");
    EXPECT_EQ(await(store.remove(service, account)), secret_status::success);
}

TEST(MemorySecretStore, AnswersLikeTheRealStore)
{
    quorvel::testing::MemorySecretStore store;
    expectDeleteThenAddSemantics(store);
}

TEST(KeychainSecretStore, KeepsDeleteThenAddSemanticsOnTheRealSecretService)
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        GTEST_SKIP() << "needs the session bus and keyring that scripts/test provides";
    KeychainSecretStore store;
    expectDeleteThenAddSemantics(store);
}

// In a child, because the bus connection is cached for the life of a process.
TEST(KeychainSecretStore, ReportsUnavailableQuicklyWhenNoSessionBusAnswers)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/quorvel-bus"));
    child.setProcessEnvironment(environment);
    QElapsedTimer elapsed;
    elapsed.start();
    child.start(QStringLiteral(QUORVEL_BIN_DIR "/platform_test_child"),
        { QStringLiteral("keychain-read"), QStringLiteral("com.quorvel.test"), QStringLiteral("developer") });
    ASSERT_TRUE(child.waitForFinished(20'000));
    EXPECT_EQ(child.readAllStandardOutput().trimmed(), QByteArray::number(secret_status::unavailable));
    EXPECT_LT(elapsed.elapsed(), 10'000);
}

} // namespace
